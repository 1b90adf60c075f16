#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Writes small outline fonts for the tests into the folder given: a
proportional font whose Latin letters are too wide for the half cell or stick
out of it (as .ttf, .woff and .woff2), and a collection of two faces."""
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTCollection

# Boxes of ink in font units (1000 to the em): left, right, bottom, top.
# At 16 pixels the half cell is 500 units wide.
PROPORTIONAL = {
    "A": (100, 400, 0, 700),   # fits the half cell
    "M": (40, 960, 0, 700),    # wider than it: condensed
    "j": (-150, 250, -100, 700),  # left of it: moved right
    "R": (300, 700, 0, 700),   # right of it: moved left
    "uni4E00": (50, 950, 300, 400),  # a kanji, left alone
}
CODES = {"A": 0x41, "M": 0x4D, "j": 0x6A, "R": 0x52, "uni4E00": 0x4E00}


def glyph(box):
    pen = TTGlyphPen(None)
    left, right, bottom, top = box
    pen.moveTo((left, bottom))
    pen.lineTo((left, top))
    pen.lineTo((right, top))
    pen.lineTo((right, bottom))
    pen.closePath()
    return pen.glyph()


def build(family, boxes):
    names = [".notdef"] + sorted(boxes)
    builder = FontBuilder(1000, isTTF=True)
    builder.setupGlyphOrder(names)
    builder.setupCharacterMap({CODES[n]: n for n in boxes})
    glyphs = {n: glyph(boxes[n]) for n in boxes}
    glyphs[".notdef"] = TTGlyphPen(None).glyph()
    builder.setupGlyf(glyphs)
    builder.setupHorizontalMetrics({n: (1000, boxes[n][0] if n in boxes else 0) for n in names})
    builder.setupHorizontalHeader(ascent=880, descent=-120)
    builder.setupNameTable({"familyName": family, "styleName": "Regular"})
    builder.setupOS2(sTypoAscender=880, sTypoDescender=-120, usWinAscent=880, usWinDescent=120)
    builder.setupPost()
    return builder.font


def main(folder):
    font = build("Tavrest Proportional", PROPORTIONAL)
    font.save(folder + "/proportional.ttf")
    for flavor in ("woff", "woff2"):
        font.flavor = flavor
        font.save(folder + "/proportional." + flavor)
    # The second face's A is a full half cell wide, to tell the faces apart.
    collection = TTCollection()
    collection.fonts = [build("Tavrest First", PROPORTIONAL),
                        build("Tavrest Second", dict(PROPORTIONAL, A=(0, 500, 0, 700)))]
    collection.save(folder + "/faces.ttc")


if __name__ == "__main__":
    main(sys.argv[1])

#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Fonts for the placement tests, written into the folder given:

latin.ttf    IPA Gothic's kana and kanji with a typographic ascender set for
             Latin text (3/4 of the em): by its metrics every kanji reaches
             above the cell.
strike.ttf   misaki with outline metrics unlike its 8-pixel strike's.
hostile.ttf  16 units per em and one glyph spanning +-8000 units, for 400
             kanji.
"""
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.subset import Options, Subsetter
from fontTools.ttLib import TTFont

out, ipag, misaki = sys.argv[1:4]

# The first 400 code points of the CJK block, all kanji of JIS X 0208 or 0213.
KANJI = [chr(c) for c in range(0x4E00, 0x4E00 + 400)]
TEXT = "あいうえおかきくけこ日本語漢字東京大阪国書" + "".join(KANJI[:80]) + "Ag"

font = TTFont(ipag)
subsetter = Subsetter(Options(hinting=False, layout_features=[]))
subsetter.populate(text=TEXT)
subsetter.subset(font)
units = font["head"].unitsPerEm
font["OS/2"].sTypoAscender = units * 3 // 4
font["OS/2"].sTypoDescender = -(units // 4)
font.save(out + "/latin.ttf")

strike = TTFont(misaki, lazy=True)
strike["OS/2"].sTypoAscender = 1024
strike["OS/2"].sTypoDescender = -1024
strike.save(out + "/strike.ttf")

builder = FontBuilder(16, isTTF=True)
builder.setupGlyphOrder([".notdef", "big"])
builder.setupCharacterMap({ord(k): "big" for k in KANJI})
pen = TTGlyphPen(None)
for x, y in [(-8000, -8000), (8000, -8000), (8000, 8000), (-8000, 8000)]:
    (pen.moveTo if x == -8000 and y == -8000 else pen.lineTo)((x, y))
pen.closePath()
builder.setupGlyf({".notdef": TTGlyphPen(None).glyph(), "big": pen.glyph()})
builder.setupHorizontalMetrics({".notdef": (16, 0), "big": (16, -8000)})
builder.setupHorizontalHeader(ascent=14, descent=-2)
builder.setupOS2(sTypoAscender=14, sTypoDescender=-2)
builder.setupNameTable({"familyName": "Hostile", "styleName": "Regular"})
builder.setupPost()
builder.save(out + "/hostile.ttf")

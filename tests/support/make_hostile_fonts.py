#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes fonts made to cost time into OUT_DIR: a TrueType font whose cmap
runs to code 0xFFFFFFFF, and BDF text in gzip that inflates to 16 GiB.
    make_hostile_fonts.py OUT_DIR"""
import os
import struct
import sys
import zlib


def table_checksum(data):
    data += b"\0" * (-len(data) % 4)
    return sum(struct.unpack(f">{len(data) // 4}I", data)) & 0xFFFFFFFF


def sfnt(tables):
    tags = sorted(tables)
    count = len(tags)
    search = 16 * (1 << (count.bit_length() - 1))
    out = struct.pack(">IHHHH", 0x00010000, count, search, count.bit_length() - 1,
                      count * 16 - search)
    offset = 12 + 16 * count
    body = b""
    for tag in tags:
        data = tables[tag]
        out += struct.pack(">4sIII", tag.encode(), table_checksum(data), offset + len(body),
                           len(data))
        body += data + b"\0" * (-len(data) % 4)
    return out + body


def cmap_past_unicode():
    """One square glyph, 16 units per em, standing for every code from 0 to
    0xFFFFFFFF (a cmap of format 13, one group)."""
    head = struct.pack(">IIIIHHqqhhhhHHhhh", 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0, 16, 0, 0,
                       0, 0, 8, 8, 0, 8, 2, 0, 0)
    hhea = struct.pack(">IhhhHhhhhhh4hhH", 0x00010000, 14, -2, 0, 16, 0, 0, 8, 1, 0, 0,
                       0, 0, 0, 0, 0, 2)
    maxp = struct.pack(">IH13H", 0x00010000, 2, 4, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0)
    hmtx = struct.pack(">HhHh", 16, 0, 16, 0)
    square = struct.pack(">hhhhhHH4B4h4h", 1, 0, 0, 8, 8, 3, 0, 1, 1, 1, 1,
                         0, 8, 0, -8, 0, 0, 8, 0)
    square += b"\0" * (len(square) % 2)
    loca = struct.pack(">3H", 0, 0, len(square) // 2)
    cmap = struct.pack(">HHHHI", 0, 1, 3, 10, 12) + struct.pack(">HHIIIIII", 13, 0, 28, 0, 1, 0,
                                                                  0xFFFFFFFF, 1)
    return sfnt({"head": head, "hhea": hhea, "maxp": maxp, "hmtx": hmtx, "glyf": square,
                 "loca": loca, "cmap": cmap})


def write_gzip_bomb(path):
    """BDF comment lines: one gzip member of 1 GiB, sixteen times over."""
    line = b"COMMENT " + b"x" * 60 + b"\n"
    chunk = line * ((1 << 20) // len(line))
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)
    member = b"".join(packer.compress(chunk) for _ in range(1 << 10)) + packer.flush()
    with open(path, "wb") as out:
        out.write(b"".join([member] * 16))


out_dir = sys.argv[1]
os.makedirs(out_dir, exist_ok=True)
with open(os.path.join(out_dir, "cmap-past-unicode.ttf"), "wb") as out:
    out.write(cmap_past_unicode())
write_gzip_bomb(os.path.join(out_dir, "16GiB.bdf.gz"))

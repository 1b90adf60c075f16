#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints JIS X 0213 plane 1 by Python's own euc_jis_2004 codec, a second
source beside glibc's iconv: one line "JIS CODEPOINT" (hex) for each
two-byte code that decodes to one code point."""
for first in range(0x21, 0x7F):
    for second in range(0x21, 0x7F):
        try:
            text = bytes([first | 0x80, second | 0x80]).decode("euc_jis_2004")
        except UnicodeDecodeError:
            continue
        if len(text) == 1:
            print("%X %X" % (first << 8 | second, ord(text)))

#!/bin/sh
# SPDX-License-Identifier: MIT
# Converts the Debian fonts the tests use into BDF files in $1: bitmap fonts
# by pcf2bdf, outline fonts drawn at one size by otf2bdf.
set -eu
out=$1
src=/usr/share/fonts/X11/misc
mkdir -p "$out"
for name in jiskan16 8x16rk k14 7x14-JISX0201.1976-0 jiskan24 12x24rk \
            shnmk16 shnm8x16r shnmk14 shnm7x14r mplus_j12r mplus_f12r-jisx0201 \
            mplus_j10r mplus_f10r mplus_h12r-jisx0201 18x18ja 12x13ja unifont f16 b16 jiskan16-2004-1; do
  pcf=$src/$name.pcf.gz
  if [ ! -e "$pcf" ]; then
    echo "missing $pcf: install xfonts-base, xfonts-shinonome, xfonts-mplus," \
         "xfonts-unifont, xfonts-efont-unicode and xfonts-jisx0213" >&2
    exit 1
  fi
  if [ ! -s "$out/$name.bdf" ] || [ "$pcf" -nt "$out/$name.bdf" ]; then
    pcf2bdf -o "$out/$name.bdf.tmp" "$pcf"
    mv "$out/$name.bdf.tmp" "$out/$name.bdf"
  fi
done
# Misaki is drawn at 16: at 8 FreeType takes the font's own 8-pixel bitmaps,
# whose boxes otf2bdf gives wrong offsets.
for outline in ipag:/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf:16 \
               misaki_gothic:/usr/share/fonts/truetype/misaki/misaki_gothic.ttf:16; do
  name=${outline%%:*}
  pixels=${outline##*:}
  ttf=${outline#*:}
  ttf=${ttf%:*}
  bdf=$out/$name$pixels.bdf
  if [ ! -e "$ttf" ]; then
    echo "missing $ttf: install fonts-ipafont-gothic and fonts-misaki" >&2
    exit 1
  fi
  if [ ! -s "$bdf" ] || [ "$ttf" -nt "$bdf" ]; then
    # otf2bdf's exit status is no guide (it is not 0 on success): the file must end.
    otf2bdf -p "$pixels" -r 72 -o "$bdf.tmp" "$ttf" || true
    if [ "$(tail -n 1 "$bdf.tmp" 2>/dev/null)" != ENDFONT ]; then
      echo "otf2bdf could not convert $ttf" >&2
      exit 1
    fi
    mv "$bdf.tmp" "$bdf"
  fi
done
# Small outline fonts the tests need and Debian has none of: a proportional
# font (also as WOFF and WOFF2) and a collection. Debian's python3 has fontTools.
script=$(dirname "$0")/make_outline_fonts.py
if [ ! -s "$out/faces.ttc" ] || [ "$script" -nt "$out/faces.ttc" ]; then
  /usr/bin/python3 "$script" "$out" || {
    echo "cannot make the outline test fonts: install python3-fonttools and python3-brotli" >&2
    exit 1
  }
fi
echo "fonts ready in $out"

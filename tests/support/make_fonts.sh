#!/bin/sh
# Converts the Debian bitmap fonts the tests use into BDF files in $1.
set -eu
out=$1
src=/usr/share/fonts/X11/misc
mkdir -p "$out"
for name in jiskan16 8x16rk k14 7x14-JISX0201.1976-0 jiskan24 12x24rk \
            shnmk16 shnm8x16r shnmk14 shnm7x14r mplus_j12r mplus_f12r-jisx0201 \
            mplus_j10r mplus_f10r 18x18ja 12x13ja unifont f16 b16 jiskan16-2004-1; do
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
echo "fonts ready in $out"

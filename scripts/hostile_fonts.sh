#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Holds fonts made to cost time to a generous bound of CPU time: a font
# converts in time proportional to its glyphs times the cell's pixels, so
# each of these, at most a few thousand glyphs, takes a small part of a
# second. A timed check, so it is kept out of the test suite; run it after a
# change to how fonts are read:
#   scripts/hostile_fonts.sh BUILD_DIR
# Before the reads were bounded, the cmap font took 199 s and the gzip
# bomb (16 GiB of text) over a minute.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
bound=30  # seconds of CPU, each
fonts=$build/hostile-fonts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/tests/support/make_hostile_fonts.py" "$fonts"
export SDL_VIDEODRIVER=dummy
status=0
for font in "$fonts"/*; do
  for size in 16 32; do
    times=$( { /usr/bin/time -f "%U %S" timeout $((bound * 4)) "$build/app/tavrest" -b -q -s "$size" \
        -f "$font" -o "$work/out.qpk" -i "$work/out.tga" 2> "$work/err" > /dev/null || true; } ; tail -1 "$work/err")
    cpu=$(awk '{print $1 + $2}' <<< "$times")
    if awk -v cpu="$cpu" -v bound="$bound" 'BEGIN {exit !(cpu != "" && cpu < bound)}'; then
      printf '%-28s at %2d: %6.2f s of CPU\n' "$(basename "$font")" "$size" "$cpu"
    else
      printf '%-28s at %2d: over %d s of CPU (%s)\n' "$(basename "$font")" "$size" "$bound" "$times"
      status=1
    fi
  done
done
exit $status

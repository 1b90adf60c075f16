#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine for building, builds tavrest in build-demo/ (no tests,
# so no test packages), converts jiskan16 + 8x16rk at size 16 in
# build-demo/demo/ straight from their PCF files, and previews the result with
# tavrest-view. The exit status is the conversion's.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh build
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DTAVREST_TESTS=OFF > /dev/null
# Everything that is installed, so that `cmake --install build-demo` works too.
cmake --build build-demo -j"$(nproc)" > /dev/null

demo=build-demo/demo
mkdir -p "$demo"
fonts=/usr/share/fonts/X11/misc  # from xfonts-base
printf '%s\n%s\n16\n' "$fonts/jiskan16.pcf.gz" "$fonts/8x16rk.pcf.gz" > "$demo/tavrest.ini"
# Only what this run writes is reported below.
rm -f "$demo/tavrest.qpk" "$demo/tavrest.tga" "$demo/tavrest.png"

# Without a display SDL would draw on the terminal; use its dummy driver.
if [ -z "${DISPLAY:-}" ]; then export SDL_VIDEODRIVER=dummy; fi
status=0
(cd "$demo" && ../app/tavrest) || status=$?
echo "tavrest exited with status $status in $demo"
for file in "$demo/tavrest.qpk" "$demo/tavrest.tga"; do
  [ -e "$file" ] && echo "wrote $file ($(stat -c %s "$file") bytes)"
done

# The sheet image: its size from the header.
image=$demo/tavrest.tga
if [ -e "$image" ]; then
  read -r width height < <(od -An -tu2 -j12 -N4 "$image")
  echo "sheet image: ${width} x ${height} pixels, 32-bit run-length coded TGA"
fi

# The preview: the sheet as tavrest-view reads it back from tavrest.qpk,
# twice its size. Optional: when it cannot be made, say so; the status stays.
if [ ! -e "$demo/tavrest.qpk" ]; then
  echo "no preview: no tavrest.qpk was written"
elif build-demo/viewer/tavrest-view "$demo/tavrest.qpk" -o "$demo/tavrest.png" \
    --scale 2 --background white; then
  echo "preview: $demo/tavrest.png (the sheet at twice its size, from tavrest-view)"
else
  echo "no preview: tavrest-view could not write $demo/tavrest.png"
fi
exit $status

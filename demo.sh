#!/usr/bin/env bash
# Sets up the machine, builds, and converts jiskan16 + 8x16rk at size 16.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j"$(nproc)" --target tavrest > /dev/null

demo=build/demo
mkdir -p "$demo"
tests/support/make_fonts.sh build/fonts > /dev/null
cp build/fonts/jiskan16.bdf build/fonts/8x16rk.bdf "$demo/"
printf 'jiskan16.bdf\n8x16rk.bdf\n16\n' > "$demo/tavrest.ini"

# Without a display SDL would draw on the terminal; use its dummy driver.
if [ -z "${DISPLAY:-}" ]; then export SDL_VIDEODRIVER=dummy; fi
status=0
(cd "$demo" && ../app/tavrest) || status=$?
echo "tavrest exited with status $status in $demo"
for file in "$demo/tavrest.qpk" "$demo/tavrest.tga"; do
  [ -e "$file" ] && echo "wrote $file ($(stat -c %s "$file") bytes)"
done

# The sheet image: its size from the header, and a PNG preview when
# ImageMagick is there (-auto-orient: the file stores the bottom row first).
image=$demo/tavrest.tga
if [ -e "$image" ]; then
  read -r width height < <(od -An -tu2 -j12 -N4 "$image")
  echo "sheet image: ${width} x ${height} pixels, 32-bit run-length coded TGA"
  convert=$(command -v /usr/bin/convert || command -v convert || true)
  if [ -n "$convert" ]; then
    "$convert" "$image" -auto-orient "$demo/tavrest.png"
    echo "preview: $demo/tavrest.png"
  else
    echo "no preview: ImageMagick's convert is not installed"
  fi
fi
exit $status

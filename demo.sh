#!/usr/bin/env bash
# Sets up the machine for building, builds tavrest in build-demo/ (no tests,
# so no test packages), and converts jiskan16 + 8x16rk at size 16 in
# build-demo/demo/.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh build
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DTAVREST_TESTS=OFF > /dev/null
# Everything that is installed, so that `cmake --install build-demo` works too.
cmake --build build-demo -j"$(nproc)" > /dev/null

demo=build-demo/demo
mkdir -p "$demo"
for font in jiskan16 8x16rk; do  # from xfonts-base
  pcf2bdf -o "$demo/$font.bdf" "/usr/share/fonts/X11/misc/$font.pcf.gz"
done
printf 'jiskan16.bdf\n8x16rk.bdf\n16\n' > "$demo/tavrest.ini"
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
    echo "no preview: ImageMagick's convert is not installed (scripts/setup.sh test installs it)"
  fi
fi
exit $status

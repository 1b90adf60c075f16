#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows build, tested under Wine (./test.sh --windows runs this):
#   1. tavrest.exe, tavrest-view.exe and the unit tests cross-built with
#      mingw-w64 in build-win64/, the unit tests run under Wine by ctest;
#   2. conversions of a PCF, a PCF.gz, a BDF, a .bdf.gz, a TrueType font and
#      a font with a Japanese file name under Wine, every output compared
#      byte for byte with the Linux build's (build/, built here if missing),
#      and the viewer's PNG of one;
#   3. the window under Wine on a virtual X server: its last picture, with
#      "完了" drawn, is the Linux program's last picture;
#   4. the zip for users (scripts/windows_zip.sh), checked for DLLs.
# Wine keeps its configuration in the cache folder of scripts/setup.sh windows.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
cache=${TAVREST_WIN64_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrest-win64}
export WINEPREFIX=${WINEPREFIX:-$cache/wine} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export SDL_VIDEODRIVER=dummy

fail() {
  echo "windows test: $*" >&2
  exit 1
}

echo "== Windows build (mingw-w64), unit tests under Wine =="
if [ ! -f build-win64/CMakeCache.txt ]; then
  cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DTAVREST_COMPAT_TESTS=OFF > /dev/null
fi
cmake --build build-win64 -j"$jobs"
wineboot -i > /dev/null 2>&1 || true  # makes the prefix once, before tests time out on it
ctest --test-dir build-win64 --output-on-failure
win_tavrest=$root/build-win64/app/tavrest.exe
win_view=$root/build-win64/viewer/tavrest-view.exe

# The Linux build the outputs are compared with: ./test.sh has made it.
if [ ! -x build/app/tavrest ] || [ ! -x build/viewer/tavrest-view ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVREST_COMPAT_TESTS=OFF > /dev/null
  cmake --build build -j"$jobs" --target tavrest tavrest-view
fi
linux_tavrest=$root/build/app/tavrest
linux_view=$root/build/viewer/tavrest-view
fonts=$root/build-win64/fonts
tests/support/make_fonts.sh "$fonts"

work=$root/build-win64/compare
rm -rf "$work"
mkdir -p "$work/fonts"
misc=/usr/share/fonts/X11/misc
gzip -dc "$misc/k14.pcf.gz" > "$work/fonts/k14.pcf"
gzip -c "$fonts/jiskan24.bdf" > "$work/fonts/jiskan24.bdf.gz"
cp "$fonts/jiskan16.bdf" "$work/fonts/漢字フォント.bdf"

echo "== conversions under Wine, compared with Linux =="
# name | arguments; every run writes out.qpk and out.tga in its folder.
cases=(
  "bdf|$fonts/jiskan16.bdf $fonts/8x16rk.bdf -s 16"
  "pcf|$work/fonts/k14.pcf $fonts/7x14-JISX0201.1976-0.bdf -s 14"
  "pcf.gz|$misc/jiskan16.pcf.gz $misc/8x16rk.pcf.gz -s 16"
  "bdf.gz|$work/fonts/jiskan24.bdf.gz $misc/12x24rk.pcf.gz -s 24"
  "truetype|/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf -s 24"
  "japanese-name|$work/fonts/漢字フォント.bdf -s 16 -o 変換.qpk -i 変換.tga"
)
for entry in "${cases[@]}"; do
  name=${entry%%|*}
  read -r -a arguments <<< "${entry#*|}"
  for system in linux windows; do
    mkdir -p "$work/$name/$system"
    program=$linux_tavrest
    [ $system = windows ] && program="wine $win_tavrest"
    (cd "$work/$name/$system" && $program -b -q "${arguments[@]}") > "$work/$name/$system.log" 2>&1 ||
      fail "$name: the $system build failed: $(cat "$work/$name/$system.log")"
  done
  for file in "$work/$name/linux"/*; do
    cmp "$file" "$work/$name/windows/$(basename "$file")" ||
      fail "$name: $(basename "$file") differs between Linux and Windows"
  done
  echo "$name: $(cd "$work/$name/windows" && ls | tr '\n' ' ')identical"
done
# A settings file named with Windows' separator, with Windows' line ends:
# its relative font names are taken from its folder.
mkdir -p "$work/settings/linux/set" "$work/settings/windows/set"
for system in linux windows; do
  cp "$fonts/jiskan16.bdf" "$fonts/8x16rk.bdf" "$work/settings/$system/set/"
done
printf 'jiskan16.bdf\n8x16rk.bdf\n16\n' > "$work/settings/linux/set/tavrest.ini"
printf 'jiskan16.bdf\r\n8x16rk.bdf\r\n16\r\n' > "$work/settings/windows/set/tavrest.ini"
(cd "$work/settings/linux" && "$linux_tavrest" -b -q -c set/tavrest.ini)
(cd "$work/settings/windows" && wine "$win_tavrest" -b -q -c 'set\tavrest.ini') ||
  fail "settings: the Windows build failed"
cmp "$work/settings/linux/tavrest.qpk" "$work/settings/windows/tavrest.qpk" ||
  fail "settings: tavrest.qpk differs"
echo "settings: set\\tavrest.ini with CR LF read, tavrest.qpk identical"
# Standard output as the packed file (binary: no CR added), and an output
# that is the input refused before anything is written.
mkdir -p "$work/streams"
cp "$fonts/jiskan16.bdf" "$work/streams/font.bdf"
(cd "$work/streams" && wine "$win_tavrest" -b -q font.bdf -s 16 --no-image -o - > stdout.qpk) ||
  fail "-o -: the Windows build failed"
cmp "$work/streams/stdout.qpk" "$work/japanese-name/linux/変換.qpk" ||
  fail "-o -: standard output differs from the file"
status=0
(cd "$work/streams" && wine "$win_tavrest" -b -q font.bdf -s 16 --no-image -o FONT.BDF) \
  > /dev/null 2>&1 || status=$?
[ $status = 2 ] || fail "an output that is the input (by another spelling) gave status $status, not 2"
cmp "$work/streams/font.bdf" "$fonts/jiskan16.bdf" || fail "the input was overwritten"
echo "streams: -o - identical; FONT.BDF refused as font.bdf"
[ "$(md5sum < "$work/bdf/windows/tavrest.qpk" | cut -d' ' -f1)" = d15198540c3f9b0dcf31c99428467a1e ] ||
  fail "jiskan16 + 8x16rk did not give the well-known tavrest.qpk"
# The viewer on a .qpk and on a font it converts in memory.
for system in linux windows; do
  program=$linux_view
  [ $system = windows ] && program="wine $win_view"
  (cd "$work/bdf/$system" && $program tavrest.qpk --text 完了 -o text.png > /dev/null &&
    $program "$work/fonts/漢字フォント.bdf" -s 16 -o sheet.png > /dev/null) ||
    fail "the $system viewer failed"
done
for picture in text.png sheet.png; do
  cmp "$work/bdf/linux/$picture" "$work/bdf/windows/$picture" ||
    fail "the viewer's $picture differs between Linux and Windows"
done
echo "viewer: text.png sheet.png identical"

scripts/windows_window_test.sh "$work/window" "$linux_tavrest" "$win_tavrest" "$fonts"

echo "== the zip for users =="
scripts/windows_zip.sh build-win64
version=$(wine build-win64/zip/tavrest-*-win64/tavrest.exe --version | tr -d '\r')
[[ $version == "tavrest "* ]] || fail "the zipped tavrest.exe says \"$version\""

#!/usr/bin/env bash
# Makes a build's Debian package with cpack, checks its files and control
# fields with dpkg-deb, unpacks it (no installing) and checks that the
# unpacked programs convert and read a font exactly as the in-tree ones do.
#   scripts/check_deb.sh BUILD_DIR LIBDIR VERSION IN_TREE_TAVREST IN_TREE_VIEW
# CPACK names the cpack to use, the one beside the build's cmake.
set -euo pipefail
build=$(cd "$1" && pwd)
libdir=$2
version=$3
tavrest=$4
view=$5
root=$(cd "$(dirname "$0")/.." && pwd)
work=$build/deb-check
unpacked=$work/unpacked
export SDL_VIDEODRIVER=dummy
rm -rf "$work"
mkdir -p "$work/run"

fail() {
  echo "check_deb: $*" >&2
  exit 1
}

"${CPACK:-cpack}" -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
arch=$(dpkg --print-architecture)
deb=$work/tavrest_${version}_$arch.deb
[ -f "$deb" ] || fail "cpack made no $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tavrest ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
# dpkg-shlibdeps' names for what the binaries link: SDL, libpng, the C and
# C++ runtimes.
depends=$(field Depends | tr ',' '\n' | awk '{print $1}')
for package in libc6 libstdc++6 libsdl1.2debian; do
  grep -qxF "$package" <<< "$depends" || fail "Depends lacks $package: $(field Depends)"
done
grep -q '^libpng' <<< "$depends" || fail "Depends lacks libpng: $(field Depends)"

# Every file it must hold, and nothing else but more public headers.
expected=(usr/bin/tavrest usr/bin/tavrest-view usr/share/man/man1/tavrest.1
          usr/"$libdir"/pkgconfig/tavrest.pc)
for name in Config ConfigVersion Targets Targets-CONFIG; do
  expected+=("usr/$libdir/cmake/tavrest/tavrest$name.cmake")
done
for library in platform qpk kanji sheet output; do
  expected+=("usr/include/tavrest/$library.h" "usr/$libdir/libtavrest_$library.a")
done
[ -e "$root/viewer/tavrest-view.1" ] && expected+=(usr/share/man/man1/tavrest-view.1)
# The per-configuration targets file is named after the build type.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\.\//, "", $6); print $6}' |
        sed 's/tavrestTargets-[a-z]*\.cmake$/tavrestTargets-CONFIG.cmake/')
for file in "${expected[@]}"; do
  grep -qxF "$file" <<< "$files" || fail "the package lacks /$file"
done
while read -r file; do
  printf '%s\n' "${expected[@]}" | grep -qxF "$file" || [[ $file == usr/include/tavrest/*.h ]] ||
    fail "the package holds /$file"
done <<< "$files"

dpkg-deb -x "$deb" "$unpacked"
[ "$("$unpacked/usr/bin/tavrest" --version)" = "$("$tavrest" --version)" ] ||
  fail "the unpacked tavrest gives another version"
fonts=(-f "$build/fonts/jiskan16.bdf" -F "$build/fonts/8x16rk.bdf" -s 16 --no-image)
"$unpacked/usr/bin/tavrest" --batch "${fonts[@]}" -o "$work/run/unpacked.qpk"
"$tavrest" --batch "${fonts[@]}" -o "$work/run/in_tree.qpk"
cmp "$work/run/unpacked.qpk" "$work/run/in_tree.qpk" || fail "the unpacked tavrest writes another file"
"$unpacked/usr/bin/tavrest-view" "$work/run/unpacked.qpk" > "$work/run/unpacked.txt"
"$view" "$work/run/in_tree.qpk" > "$work/run/in_tree.txt"
grep -qx "cell size: 16" "$work/run/unpacked.txt" || fail "the unpacked tavrest-view does not read it"
cmp "$work/run/unpacked.txt" "$work/run/in_tree.txt" || fail "the unpacked tavrest-view reads it otherwise"

# tavrest.pc finds the headers from where it lies, at this library depth too.
include=$(PKG_CONFIG_PATH=$unpacked/usr/$libdir/pkgconfig pkg-config --cflags-only-I tavrest |
          awk '{sub(/^-I/, "", $1); print $1}')
[ -e "$include/kanji.h" ] || fail "tavrest.pc names $include, which has no kanji.h"
echo "check_deb: $deb holds what it should; its programs work unpacked"

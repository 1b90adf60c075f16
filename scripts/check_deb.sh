#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes a build's two Debian packages with cpack, checks their files and
# control fields with dpkg-deb and both with lintian, unpacks them (no
# installing) and checks that the unpacked programs convert and read a font
# exactly as the in-tree ones do.
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
# The Debian revision is the packaging changelog's; its upstream part is the
# project's version.
debian_version=$(dpkg-parsechangelog -l "$root/packaging/changelog" -S Version)
[[ $debian_version == "$version"-* ]] ||
  fail "packaging/changelog is for $debian_version, the build for $version"
arch=$(dpkg --print-architecture)
programs=$work/tavrest_${debian_version}_$arch.deb
dev=$work/libtavrest-dev_${debian_version}_$arch.deb
for deb in "$programs" "$dev"; do
  [ -f "$deb" ] || fail "cpack made no $deb"
done

field() { dpkg-deb -f "$1" "$2"; }
expect_field() {
  [ "$(field "$1" "$2")" = "$3" ] || fail "$(basename "$1"): $2 is '$(field "$1" "$2")', not '$3'"
}
expect_field "$programs" Package tavrest
expect_field "$dev" Package libtavrest-dev
for deb in "$programs" "$dev"; do
  expect_field "$deb" Version "$debian_version"
  expect_field "$deb" Architecture "$arch"
done
expect_field "$programs" Section graphics
expect_field "$dev" Section libdevel
# The C++ runtime's link library comes after, for programs linked as C.
[[ $(field "$dev" Depends) =~ ^"libsdl1.2-dev, libfreetype-dev, zlib1g-dev, libstdc++-"[0-9]+"-dev | libstdc++-dev"$ ]] ||
  fail "libtavrest-dev's Depends is '$(field "$dev" Depends)'"
expect_field "$dev" Recommends pkg-config
# dpkg-shlibdeps' names for what the programs link: SDL, libpng, FreeType,
# zlib, the C and C++ runtimes.
depends=$(field "$programs" Depends | tr ',' '\n' | awk '{print $1}')
for package in libc6 libstdc++6 libsdl1.2debian libfreetype6 zlib1g; do
  grep -qxF "$package" <<< "$depends" || fail "tavrest's Depends lacks $package: $(field "$programs" Depends)"
done
grep -q '^libpng' <<< "$depends" || fail "tavrest's Depends lacks libpng: $(field "$programs" Depends)"

# Every file each must hold, and nothing else but more public headers.
programs_files=(usr/bin/tavrest usr/bin/tavrest-view usr/share/lintian/overrides/tavrest)
for name in tavrest tavrest-view; do
  programs_files+=("usr/share/man/man1/$name.1.gz" "usr/share/bash-completion/completions/$name")
done
dev_files=(usr/"$libdir"/pkgconfig/tavrest.pc usr/share/lintian/overrides/libtavrest-dev)
for name in Config ConfigVersion Targets Targets-CONFIG; do
  dev_files+=("usr/$libdir/cmake/tavrest/tavrest$name.cmake")
done
for library in platform qpk kanji sheet output; do
  dev_files+=("usr/include/tavrest/$library.h" "usr/$libdir/libtavrest_$library.a")
done
for file in README.md qpk-format.md examples/qpk_text.c examples/CMakeLists.txt; do
  dev_files+=("usr/share/doc/libtavrest-dev/$file")
done
for file in copyright changelog.Debian.gz; do
  programs_files+=("usr/share/doc/tavrest/$file")
  dev_files+=("usr/share/doc/libtavrest-dev/$file")
done
check_files() {
  local deb=$1 files
  shift
  # The per-configuration targets file is named after the build type.
  files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\.\//, "", $6); print $6}' |
          sed 's/tavrestTargets-[a-z]*\.cmake$/tavrestTargets-CONFIG.cmake/')
  for file in "$@"; do
    grep -qxF "$file" <<< "$files" || fail "$(basename "$deb") lacks /$file"
  done
  while read -r file; do
    printf '%s\n' "$@" | grep -qxF "$file" || [[ $file == usr/include/tavrest/*.h ]] ||
      fail "$(basename "$deb") holds /$file"
  done <<< "$files"
}
check_files "$programs" "${programs_files[@]}"
check_files "$dev" "${dev_files[@]}"

# Debian's own checks. A build for another prefix than /usr keeps the
# library folder out of the multiarch tree, where pkg-config looks for a
# cross build's .pc files; a package built for /usr has them there.
suppress=()
[[ $libdir == lib/*-* ]] || suppress=(--suppress-tags pkg-config-unavailable-for-cross-compilation)
lintian --fail-on error,warning "${suppress[@]}" "$programs" "$dev" > "$work/lintian.log" 2>&1 ||
  fail "lintian finds faults: $(grep -v '^running with root' "$work/lintian.log")"

dpkg-deb -x "$programs" "$unpacked"
dpkg-deb -x "$dev" "$unpacked"
# One version throughout: both programs, the manual pages' footers, the
# changelog the packages carry.
[ "$("$unpacked/usr/bin/tavrest" --version)" = "tavrest $version" ] ||
  fail "the unpacked tavrest says '$("$unpacked/usr/bin/tavrest" --version)'"
[ "$("$unpacked/usr/bin/tavrest-view" --version)" = "tavrest-view $version" ] ||
  fail "the unpacked tavrest-view says '$("$unpacked/usr/bin/tavrest-view" --version)'"
for name in tavrest tavrest-view; do
  zcat "$unpacked/usr/share/man/man1/$name.1.gz" | grep -q "^\.TH .* \"tavrest $version\"" ||
    fail "the manual page of $name has another version in its footer"
done
cmp <(zcat "$unpacked/usr/share/doc/tavrest/changelog.Debian.gz") "$root/packaging/changelog" ||
  fail "changelog.Debian.gz is not packaging/changelog"

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
echo "check_deb: $(basename "$programs") and $(basename "$dev") hold what they should, lintian" \
     "passes them, and their programs work unpacked"

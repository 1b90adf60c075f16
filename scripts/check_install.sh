#!/usr/bin/env bash
# Installs a build into a scratch prefix inside it, builds the example against
# the installed package both ways (pkg-config with gcc -std=c99, CMake's
# find_package), and checks that both copies draw exactly what the in-tree
# build of the same example draws, with a font the installed converter made.
#   scripts/check_install.sh BUILD_DIR IN_TREE_EXAMPLE
set -euo pipefail
build=$(cd "$1" && pwd)
in_tree=$2
root=$(cd "$(dirname "$0")/.." && pwd)
work=$build/install-check
prefix=$work/prefix
export SDL_VIDEODRIVER=dummy
rm -rf "$work"
mkdir -p "$work/run"

fail() {
  echo "check_install: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
for file in bin/tavrest bin/tavrest-view include/tavrest/kanji.h include/tavrest/output.h \
            lib/pkgconfig/tavrest.pc lib/cmake/tavrest/tavrestConfig.cmake; do
  [ -e "$prefix/$file" ] || fail "$file is not installed"
done

# The installed converter on jiskan16 + 8x16rk makes the well-known file.
printf '%s\n%s\n16\n' "$build/fonts/jiskan16.bdf" "$build/fonts/8x16rk.bdf" > "$work/run/tavrest.ini"
(cd "$work/run" && "$prefix/bin/tavrest")
qpk=$work/run/tavrest.qpk
[ "$(md5sum < "$qpk" | cut -d' ' -f1)" = d15198540c3f9b0dcf31c99428467a1e ] ||
  fail "the installed tavrest wrote a different tavrest.qpk"
"$prefix/bin/tavrest-view" "$qpk" | grep -qx "cell size: 16" || fail "the installed tavrest-view does not read it"

# shellcheck disable=SC2046  # pkg-config's words are meant to split
gcc -std=c99 -Wall -Wextra -pedantic -Werror "$root/examples/qpk_text.c" -o "$work/qpk_text_pkg_config" \
  $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs tavrest)
cmake -S "$root/examples" -B "$work/example-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release > "$work/example-cmake.log"
cmake --build "$work/example-build" > "$work/example-build.log"

"$in_tree" "$qpk" --save "$work/in_tree.bmp"
"$work/qpk_text_pkg_config" "$qpk" --save "$work/pkg_config.bmp"
"$work/example-build/qpk_text" "$qpk" --save "$work/find_package.bmp"
cmp "$work/in_tree.bmp" "$work/pkg_config.bmp" || fail "the pkg-config build draws differently"
cmp "$work/in_tree.bmp" "$work/find_package.bmp" || fail "the find_package build draws differently"
# Not a blank window: black text on white.
colours=$(/usr/bin/convert "$work/in_tree.bmp" -format '%k' info:)
[ "$colours" = 2 ] || fail "the example drew $colours colours, not black on white"
echo "check_install: installed into $prefix; both example builds draw as the in-tree one"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs a build into a scratch prefix inside it, builds the example against
# the installed package both ways (pkg-config with gcc -std=c99, CMake's
# find_package in a C-only project), and checks that both copies draw exactly
# what the in-tree build of the same example draws, with a font the installed
# converter made. Then checks the archives' symbols against the headers
# (check_symbols.sh) and the installed bash completion.
#   scripts/check_install.sh BUILD_DIR LIBDIR IN_TREE_EXAMPLE
set -euo pipefail
build=$(cd "$1" && pwd)
libdir=$2
in_tree=$3
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
            "$libdir"/pkgconfig/tavrest.pc "$libdir"/cmake/tavrest/tavrestConfig.cmake \
            share/man/man1/tavrest.1.gz share/bash-completion/completions/tavrest-view; do
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
  $(PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig pkg-config --cflags --libs tavrest)
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

"$root/scripts/check_symbols.sh" "$prefix" "$libdir" > /dev/null

# The completion, as bash-completion runs it: the words typed, then what the
# last one completes to, in a folder of a font, a packed file and others.
mkdir -p "$work/complete/folder"
touch "$work/complete/"{a.bdf,b.txt,c.qpk,d.pcf.gz}
complete_words() {
  (cd "$work/complete" && PATH=$prefix/bin:$PATH bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
    _tavrest "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | xargs' \
    "$prefix/share/bash-completion/completions/$1" "$@")
}
while IFS='|' read -r words expected; do
  read -ra typed <<< "$words"
  [[ $words == *' ' ]] && typed+=("")
  got=$(complete_words "${typed[@]}")
  [ "$got" = "$expected" ] || fail "completing '$words' gives '$got', not '$expected'"
done <<'CASES'
tavrest --fo|--font
tavrest -f |a.bdf d.pcf.gz folder
tavrest |a.bdf d.pcf.gz folder
tavrest -o |a.bdf b.txt c.qpk d.pcf.gz folder
tavrest -s |
tavrest-view |a.bdf c.qpk d.pcf.gz folder
tavrest-view c.qpk --back|--background
tavrest-view c.qpk --background |transparent white
CASES
echo "check_install: installed into $prefix; both example builds draw as the in-tree one;" \
     "only the API is global in the archives; completion works"

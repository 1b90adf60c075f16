#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks an installed tavrest's archives against its headers: every global
# symbol the archives define is something the headers declare (so no helper
# of the library can clash with a program's own names), and every function
# the headers declare outside a class, not inline, is defined. The
# declarations come from clang's reading of the installed headers, with
# their mangled names.
#   scripts/check_symbols.sh PREFIX LIBDIR
set -euo pipefail
prefix=$1
libdir=$2
include=$prefix/include/tavrest
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check_symbols: $*" >&2
  exit 1
}

# "KIND MANGLED inline|-" for every declaration made in an installed header.
# clang names a location's file only when it changes, and the file a header
# was included from inside "includedFrom", which is not the declaration's.
printf '#include "%s"\n' platform.h qpk.h kanji.h sheet.h output.h > "$work/all.cpp"
# shellcheck disable=SC2046  # pkg-config's words are meant to split
clang++ -std=c++20 -fsyntax-only -Xclang -ast-dump=json -I"$include" $(pkg-config --cflags sdl) \
  "$work/all.cpp" | grep -E '"(kind|file|includedFrom|mangledName|inline)":' |
  awk -v include="$include/" '
    function flush() { if (pending != "") print pending, (inline ? "inline" : "-"); pending = "" }
    /"includedFrom":/ { skipFile = 1; next }
    /"file":/ { if (!skipFile) { file = $2; gsub(/[",]/, "", file) } skipFile = 0; next }
    /"kind":/ { flush(); kind = $2; gsub(/[",]/, "", kind); next }
    /"mangledName":/ {
      flush()
      name = $2
      gsub(/[",]/, "", name)
      if (index(file, include) == 1) { pending = kind " " name; inline = 0 }
      next
    }
    /"inline": true/ { inline = 1 }
    END { flush() }' | sort -u > "$work/declared"
[ -s "$work/declared" ] || fail "clang found no declarations in $include"

# The archives' global definitions. Unique objects of the C++ library (the
# static variables of its inline functions) are the program's to share.
for archive in "$prefix/$libdir"/libtavrest_*.a; do
  nm --defined-only -g "$archive" | awk 'NF == 3 {print $2, $3}'
done | sort -u > "$work/defined"
awk '$1 == "u" {print $2}' "$work/defined" | c++filt | grep -v '^std::' |
  sed 's/^/a unique object outside std: /' > "$work/faults" || true
awk 'NR == FNR {declared[$2] = 1; next} $1 != "u" && !($2 in declared) {print $2}' \
  "$work/declared" "$work/defined" | c++filt | sed 's/^/not declared in the headers: /' >> "$work/faults"
awk 'NR == FNR {defined[$2] = 1; next} $1 == "FunctionDecl" && $3 == "-" && !($2 in defined) {print $2}' \
  "$work/defined" "$work/declared" | c++filt | sed 's/^/declared but not defined: /' >> "$work/faults"
[ ! -s "$work/faults" ] || fail "the archives' global symbols:
$(cat "$work/faults")"
echo "check_symbols: $(wc -l < "$work/defined") global symbols, each declared in the headers"

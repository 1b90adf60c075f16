#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Links a library's objects into one relocatable object whose only global
# symbols are the functions its public header declares, so that the
# installed archive lends no helper names (Put16, ReadImageFile, ...) to the
# programs that link it. Inline functions and template instances become the
# object's own too: their section groups go, since a program's copy of the
# same group would otherwise replace the object's, whose calls then point
# into a discarded section. The compilers' notes (.comment) go as well, as
# Debian strips them. Only unique objects (an inline function's static
# variables) stay global, as the one copy the whole program must share.
#   public_object.sh OUTPUT HEADER LD OBJCOPY NM OBJECT...
set -euo pipefail
output=$1
header=$2
ld=$3
objcopy=$4
nm=$5
shift 5

# The names the header declares as functions: every identifier that a '('
# follows, comments left out. A few words of inline code come along; they
# only keep a symbol global if the library defines one of that name.
declared_names() {
  sed -e 's://.*$::' "$1" | tr '\n' ' ' | sed -e 's:/\*[^*]*\*\+\([^/*][^*]*\*\+\)*/::g' |
    grep -o '[A-Za-z_][A-Za-z0-9_]*[[:space:]]*(' | tr -d '( \t' | sort -u
}

# The unqualified name of a demangled symbol: "Ns::Name[abi:cxx11](int)"
# gives Name.
plain_name() {
  sed -e 's/(.*$//' -e 's/\[abi:[^]]*\]//g' -e 's/^.*:://' -e 's/^.* //'
}

combined=$output.combined.o
keep=$output.keep
"$ld" -r -o "$combined" "$@"
names=$(declared_names "$header")
"$nm" --defined-only -g "$combined" | awk 'NF == 3 {print $2, $3}' > "$keep.all"
awk '$1 == "u" {print $2}' "$keep.all" > "$keep"
awk '$1 != "u" {print $2}' "$keep.all" > "$keep.other"
c++filt < "$keep.other" | plain_name | paste -d' ' - "$keep.other" |
  awk 'NR == FNR {declared[$1] = 1; next} $1 in declared {print $2}' <(echo "$names") - >> "$keep"
"$objcopy" --keep-global-symbols="$keep" --remove-section=.group --remove-section=.comment \
  "$combined" "$output"
rm -f "$combined" "$keep" "$keep.all" "$keep.other"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Packs the Windows build for users: tavrest-VERSION-win64.zip in BUILD_DIR,
# holding tavrest.exe and tavrest-view.exe, README.txt, the manual pages as
# text and the licence, text files with Windows line ends. Refuses programs
# that need a DLL Windows does not ship.
#   scripts/windows_zip.sh BUILD_DIR     (a build made with cmake/mingw-w64.cmake)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
# The version the build was configured with, else the one the sources set.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] ||
  version=$(sed -n 's/^set(TAVREST_VERSION \([0-9][0-9.]*\))$/\1/p' "$root/cmake/version.cmake")
name=tavrest-$version-win64
stage=$build/zip/$name
host=x86_64-w64-mingw32
# What every Windows since 7 has in its system folder.
system_dlls='^(ADVAPI32|KERNEL32|msvcrt|SHELL32|GDI32|USER32|WINMM|ole32|OLEAUT32|IMM32|VERSION)\.dll$'

fail() {
  echo "windows zip: $*" >&2
  exit 1
}

rm -rf "$build/zip"
mkdir -p "$stage"
for program in app/tavrest viewer/tavrest-view; do
  exe=$build/$program.exe
  [ -f "$exe" ] || fail "$exe is not built"
  while read -r dll; do
    [[ $dll =~ $system_dlls ]] || fail "$(basename "$exe") needs $dll, which Windows does not ship"
  done < <($host-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  $host-strip -o "$stage/$(basename "$exe")" "$exe"
done

# Text for Notepad: UTF-8 with CRLF line ends.
as_windows_text() { sed 's/$/\r/' > "$1"; }
as_windows_text "$stage/README.txt" < "$root/README.md"
for page in app/tavrest.1 viewer/tavrest-view.1; do
  GROFF_NO_SGR=1 groff -man -Kutf8 -Tutf8 -P-cbou "$root/$page" |
    as_windows_text "$stage/$(basename "$page" .1).txt"
done
for licence in LICENSE LICENSE.txt COPYING; do
  [ -f "$root/$licence" ] && as_windows_text "$stage/LICENSE.txt" < "$root/$licence" && break
done

rm -f "$build/$name.zip"
(cd "$build/zip" && zip -q -r -X "$build/$name.zip" "$name")
echo "$build/$name.zip: $(cd "$stage" && ls | tr '\n' ' ')"

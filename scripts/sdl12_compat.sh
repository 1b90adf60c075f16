#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Unpacks Debian's sdl12-compat (SDL 1.2's interface on top of SDL 2) into
# DIR without installing it, so the machine's SDL 1.2 stays the one programs
# load; those run with LD_LIBRARY_PATH=DIR/lib use sdl12-compat instead. The
# download is kept, so a rerun fetches nothing.
#   scripts/sdl12_compat.sh DIR [PROGRAM]
# With PROGRAM, also checks that PROGRAM resolves SDL 1.2 to DIR/lib.
set -euo pipefail
mkdir -p "$1"
dir=$(cd "$1" && pwd)
program=${2:-}
lib=$dir/lib

fetch() {
  local download=$dir/download
  rm -rf "$download" && mkdir -p "$download"
  # Without package lists (a fresh machine) the name is unknown: read them once.
  if ! (cd "$download" && apt-get download -qq libsdl1.2-compat); then
    if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
    "${as_root[@]}" apt-get update -qq
    (cd "$download" && apt-get download -qq libsdl1.2-compat)
  fi
  rm -rf "$dir/root" "$dir/root.tmp"
  dpkg -x "$download"/libsdl1.2-compat_*.deb "$dir/root.tmp"
  mv "$dir/root.tmp" "$dir/root"
  local found
  found=$(find "$dir/root" -name libSDL-1.2.so.0 | head -n 1)
  [ -n "$found" ] || { echo "no libSDL-1.2.so.0 in the sdl12-compat package" >&2; exit 1; }
  mkdir -p "$lib"
  ln -sfn "$(realpath "$found")" "$lib/libSDL-1.2.so.0"
}

# grep reads to the end: with pipefail, an early exit would fail ldconfig.
if ! /sbin/ldconfig -p | grep 'libSDL2-2\.0\.so\.0 ' > /dev/null; then
  echo "sdl12-compat needs SDL 2: install libsdl2-2.0-0 (scripts/setup.sh test)" >&2
  exit 1
fi
[ -e "$lib/libSDL-1.2.so.0" ] || fetch
echo "sdl12-compat: $(readlink "$lib/libSDL-1.2.so.0")"

if [ -n "$program" ]; then
  resolved=$(LD_LIBRARY_PATH=$lib ldd "$program" | awk '$1 == "libSDL-1.2.so.0" {print $3}')
  if [ "$resolved" != "$lib/libSDL-1.2.so.0" ]; then
    echo "$program loads SDL 1.2 from '$resolved', not from $lib" >&2
    exit 1
  fi
  echo "$program loads it"
fi

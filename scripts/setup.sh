#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs Debian's packages for a profile; does nothing when all are there.
#   scripts/setup.sh build   building, installing and packaging tavrest, and the demo
#   scripts/setup.sh test    that, and what the tests and benchmarks need
#   scripts/setup.sh windows the Windows cross build and Wine to test it, then
#                            SDL 1.2, FreeType and libpng cross-built once into a
#                            cache folder (scripts/windows_deps.sh)
# README.md says what each package is for.
set -euo pipefail

build_packages=(cmake g++ make pkg-config libsdl1.2-dev libpng-dev libfreetype-dev zlib1g-dev
                xfonts-base dpkg-dev file)
test_packages=(libgtest-dev libbenchmark-dev xfonts-shinonome xfonts-mplus pcf2bdf
               otf2bdf fonts-ipafont-gothic fonts-misaki fonts-vlgothic
               xfonts-unifont xfonts-efont-unicode xfonts-jisx0213 python3 python3-fonttools
               python3-brotli xvfb x11-apps imagemagick clang libclang-rt-14-dev valgrind time
               libsdl2-2.0-0 lintian clang-format bash-completion)

# The libraries' Debian sources build with autotools, make and these.
windows_packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine libgtest-dev make
                  pkg-config autoconf automake libtool xvfb x11-apps imagemagick xz-utils unzip zip
                  groff-base)

case "${1:-}" in
  build) packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  windows) packages=("${build_packages[@]}" "${windows_packages[@]}") ;;
  *) echo "usage: $0 build|test|windows" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done

if [ ${#missing[@]} -ne 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "$1" = windows ]; then
  exec "$(dirname "$0")/windows_deps.sh"
fi

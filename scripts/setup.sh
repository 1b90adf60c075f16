#!/usr/bin/env bash
# Installs what building, testing and the demo need, from Debian's packages.
# Does nothing when everything is already there.
set -euo pipefail

packages=(cmake g++ make pkg-config libsdl1.2-dev libgtest-dev libbenchmark-dev
          pcf2bdf xfonts-base xfonts-shinonome xfonts-mplus
          xvfb x11-apps imagemagick clang libclang-rt-14-dev valgrind time libsdl2-2.0-0)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

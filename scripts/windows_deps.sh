#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds SDL 1.2, libpng and FreeType for 64-bit Windows from Debian's
# own sources, as static libraries, into a cache folder outside the clone:
#   ${TAVREST_WIN64_CACHE:-${XDG_CACHE_HOME:-~/.cache}/tavrest-win64}/<versions>/
# and points <cache>/current at it. A folder already built from versions the
# archive still lists is reused, so a second run takes seconds.
# Run by scripts/setup.sh windows, which installs the cross compiler first.
set -euo pipefail

host=x86_64-w64-mingw32
cache=${TAVREST_WIN64_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrest-win64}
sources=(libsdl1.2 libpng1.6 freetype)
# Raised whenever the way they are built changes, so that older builds are
# not reused.
recipe=r2
if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi

# Debian publishes no Windows builds of these; their sources need a deb-src
# entry for the suite this machine already uses.
add_source_entry() {
  local list=/etc/apt/sources.list.d/tavrest-deb-src.sources codename
  [ -e "$list" ] && return 0
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
  "${as_root[@]}" tee "$list" > /dev/null << EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  "${as_root[@]}" apt-get update -qq
}

# The versions of a source package the archive lists, newest first.
versions_of() {
  local versions=() version i
  mapfile -t versions < <(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -u)
  for ((i = 0; i < ${#versions[@]}; i++)); do
    for ((j = i + 1; j < ${#versions[@]}; j++)); do
      if dpkg --compare-versions "${versions[j]}" gt "${versions[i]}"; then
        version=${versions[i]} versions[i]=${versions[j]} versions[j]=$version
      fi
    done
  done
  printf '%s\n' "${versions[@]}"
}

# A finished build whose every version the archive still lists.
reusable_build() {
  local stamp package version ok
  for stamp in "$cache"/$recipe-*/.complete; do
    [ -e "$stamp" ] || continue
    ok=yes
    while read -r package version; do
      versions_of "$package" | grep -qxF "$version" || ok=no
    done < "$stamp"
    [ $ok = yes ] && { dirname "$stamp"; return 0; }
  done
  return 1
}

# The newest version that downloads: security versions' sources are not
# always on the mirror. Prints the version; the source lands in the cwd.
fetch_source() {
  local version
  for version in $(versions_of "$1"); do
    if apt-get source -qq "$1=$version" > /dev/null 2>&1; then
      echo "$version"
      return 0
    fi
    echo "$1 $version: source did not download, trying an older one" >&2
  done
  echo "$1: no source version downloads" >&2
  return 1
}

# Every library static, found through the prefix's own pkg-config files and
# the cross compiler's zlib.
configure_static() {
  PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:/usr/$host/lib/pkgconfig" \
    CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" \
    ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static "$@" > configure.log
}

build_sdl() {
  cd "$work"/libsdl1.2-*/
  # Kept as a console program: no stdout.txt redirection, no SDLmain
  # wrapper taking over main, no -mwindows.
  configure_static --disable-stdio-redirect --disable-directx
  make -s -j"$jobs" > make.log
  make -s install > /dev/null
  sed -i -e 's/ -Dmain=SDL_main//' -e 's/ -lSDLmain//' -e 's/ -mwindows//' \
    "$prefix/lib/pkgconfig/sdl.pc" "$prefix/bin/sdl-config"
  sed -i 's/^#define main\tSDL_main$/\/* main() stays the program'"'"'s own *\//' \
    "$prefix/include/SDL/SDL_main.h"
  if grep -q '^#define main' "$prefix/include/SDL/SDL_main.h"; then
    echo "SDL_main.h still renames main()" >&2
    return 1
  fi
}

build_png() {
  cd "$work"/libpng1.6-*/
  configure_static
  make -s -j"$jobs" > make.log
  make -s install > /dev/null
}

build_freetype() {
  cd "$work"/freetype-*/
  configure_static --with-zlib=yes --with-png=yes --with-bzip2=no --with-harfbuzz=no \
    --with-brotli=no
  make -s -j"$jobs" > make.log
  make -s install > /dev/null
}

# GoogleTest for the unit tests, from the sources libgtest-dev installs;
# added to a finished prefix when missing or of another version.
build_googletest() {
  local version stamp=$prefix/.googletest
  version=$(dpkg-query -W -f='${Version}' libgtest-dev)
  [ "$(cat "$stamp" 2>/dev/null)" = "$version" ] && return 0
  local build
  build=$(mktemp -d "$cache/googletest.XXXXXX")
  cmake -S /usr/src/googletest -B "$build" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_CXX_COMPILER=$host-g++-posix -DCMAKE_C_COMPILER=$host-gcc-posix \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$prefix" > /dev/null
  cmake --build "$build" -j"$(nproc)" > /dev/null
  cmake --install "$build" > /dev/null
  rm -rf "$build"
  echo "$version" > "$stamp"
}

if prefix=$(reusable_build); then
  build_googletest
  ln -sfn "$prefix" "$cache/current"
  exit 0
fi
add_source_entry
mkdir -p "$cache"
jobs=$(nproc)
work=$(mktemp -d "$cache/work.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
stamp=()
for package in "${sources[@]}"; do
  stamp+=("$package $(fetch_source "$package")")
done
key=$(printf '%s\n' "${stamp[@]}" | sed 's/^[^ ]* //' | tr '\n' '_' | tr -c 'A-Za-z0-9._+\n-' '-')
prefix=$cache/$recipe-${key%_}
rm -rf "$prefix"
echo "cross-building ${stamp[*]} into $prefix"
(build_sdl)
(build_png)
(build_freetype)
printf '%s\n' "${stamp[@]}" > "$prefix/.complete"
build_googletest
ln -sfn "$prefix" "$cache/current"

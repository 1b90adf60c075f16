# SPDX-License-Identifier: MIT
# Cross-building for 64-bit Windows with Debian's mingw-w64 (POSIX threads),
# against the static SDL 1.2, FreeType and libpng that
# `scripts/setup.sh windows` builds into its cache folder:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# TAVREST_WIN64_PREFIX names another folder holding those libraries. Tests
# run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

if(NOT TAVREST_WIN64_PREFIX)
  if(DEFINED ENV{TAVREST_WIN64_PREFIX})
    set(TAVREST_WIN64_PREFIX $ENV{TAVREST_WIN64_PREFIX})
  elseif(DEFINED ENV{TAVREST_WIN64_CACHE})
    set(TAVREST_WIN64_PREFIX $ENV{TAVREST_WIN64_CACHE}/current)
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(TAVREST_WIN64_PREFIX $ENV{XDG_CACHE_HOME}/tavrest-win64/current)
  else()
    set(TAVREST_WIN64_PREFIX $ENV{HOME}/.cache/tavrest-win64/current)
  endif()
endif()
# The link behind `current` resolved, so the build keeps the versions it
# was configured with.
get_filename_component(TAVREST_WIN64_PREFIX ${TAVREST_WIN64_PREFIX} REALPATH)
set(TAVREST_WIN64_PREFIX ${TAVREST_WIN64_PREFIX} CACHE PATH
    "Static Windows builds of SDL 1.2, FreeType and libpng")
if(NOT EXISTS ${TAVREST_WIN64_PREFIX}/lib/pkgconfig/sdl.pc)
  message(FATAL_ERROR "no Windows libraries in ${TAVREST_WIN64_PREFIX}: "
                      "run scripts/setup.sh windows")
endif()

set(CMAKE_FIND_ROOT_PATH ${TAVREST_WIN64_PREFIX} /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only (zlib's import library would want a zlib1.dll, and
# Wine's own copy hides that it is missing). Windows' platform file sets the
# suffixes after this file, so they are set again once the project starts.
set(CMAKE_PROJECT_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-static.cmake)

# pkg-config sees only the Windows libraries, with what static linking of
# each needs.
set(ENV{PKG_CONFIG_LIBDIR} "${TAVREST_WIN64_PREFIX}/lib/pkgconfig:/usr/${triplet}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_ARGN --static)

# printf and friends as C99 has them (%zu, %lld), not as msvcrt.dll has. The
# compiler would still check formats by msvcrt's rules, so the Linux builds
# check them.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -Wno-format")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -Wno-format")

# Everything linked in: the programs need no DLL but Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

find_program(TAVREST_WINE NAMES wine wine64)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVREST_WINE})

# SPDX-License-Identifier: MIT
# Part of mingw-w64.cmake: libraries are found as static archives only.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

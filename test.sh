#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds, and runs every test:
#   0. the sources' house rules: licence line and clang-format
#      (scripts/check_sources.sh);
#   1. a clang build with AddressSanitizer and UndefinedBehaviorSanitizer of
#      the libraries, the tests and the fuzz targets; its tests, then every
#      fuzz target for a short while;
#   2. the plain build: Release without the SSE2 paths, and its unit tests
#      and whole-font runs, so the scalar paths stay right;
#   3. the normal Release build and its tests, among them the end-to-end run
#      and the window test against sdl12-compat.
#
#   ./test.sh               everything above
#   ./test.sh --fuzz-long   only the fuzzing, for FUZZ_SECONDS (600) per target;
#                           findings are kept in fuzz-out/
#   ./test.sh --windows     only the Windows build, tested under Wine
#                           (scripts/windows_test.sh)
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh test

if [ "${1:-}" = "--windows" ]; then
  ./scripts/setup.sh windows
  exec ./scripts/windows_test.sh
fi

jobs=$(nproc)

sanitizer_build() {
  local flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"
  CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS="$flags" -DTAVREST_FUZZ=ON \
    -DTAVREST_COMPAT_TESTS=OFF > /dev/null
  cmake --build build-asan -j"$jobs"
}

if [ "${1:-}" = "--fuzz-long" ]; then
  sanitizer_build
  exec ./scripts/fuzz.sh build-asan "${FUZZ_SECONDS:-600}" fuzz-out
fi

echo "== sources: licence lines, clang-format =="
./scripts/check_sources.sh

echo "== sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) =="
sanitizer_build
ctest --test-dir build-asan -j"$jobs" --output-on-failure
echo "== fuzzing, ${FUZZ_SECONDS:-20}s per target =="
./scripts/fuzz.sh build-asan "${FUZZ_SECONDS:-20}"

echo "== plain build (no SSE2 paths) =="
cmake -S . -B build-plain -DCMAKE_BUILD_TYPE=Release -DTAVREST_SIMD=OFF \
  -DTAVREST_COMPAT_TESTS=OFF > /dev/null
cmake --build build-plain -j"$jobs"
# The other end-to-end suites add nothing for the scalar paths: they test the
# run's surroundings, the window and memory bounds, which the release build
# covers.
ctest --test-dir build-plain -j"$jobs" --output-on-failure -E '^(Bounds|Run|RunImage|Window)[./]'

echo "== release build =="
# For /usr, as a package is built: check_deb lints the very packages the
# README's build makes.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVREST_SIMD=ON -DTAVREST_COMPAT_TESTS=ON \
  -DCMAKE_INSTALL_PREFIX=/usr > /dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

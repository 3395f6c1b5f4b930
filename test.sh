#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the core under
# AddressSanitizer with UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and
# the fuzz targets for a minute each.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCANTRIX_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# Parsing and analysis on hostile input, and everything else in the core, under ASan + UBSan.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCANTRIX_WERROR=ON \
  -DCANTRIX_SANITIZE=address,undefined -DCANTRIX_BUILD_UI=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The worker, cancel and parallel conversions under TSan.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCANTRIX_WERROR=ON \
  -DCANTRIX_SANITIZE=thread >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tests/tsan-suppressions.txt" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R "$(grep -v '^#' tests/threaded-tests.txt | paste -sd'|')"

# The fuzz targets, built with Clang for libFuzzer, each run for a minute from the seed corpus.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCANTRIX_WERROR=ON \
  -DCANTRIX_SANITIZE=address,undefined -DCANTRIX_FUZZ=ON -DCANTRIX_BUILD_UI=OFF -DCANTRIX_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
tests/fuzz/run.sh build-fuzz 60

#!/usr/bin/env bash
# Builds everything but the benchmarks with the address and
# undefined-behaviour sanitizers in build-asan and runs every test on that
# build. A finding fails the test that made it.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build-asan/CMakeCache.txt ] ||
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
        -DQUENDRA_SANITIZE=ON -DQUENDRA_BUILD_BENCH=OFF
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
cd build-asan && ctest --output-on-failure -j"$(nproc)" --timeout 600

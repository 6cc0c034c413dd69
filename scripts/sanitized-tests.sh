#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer and runs the tests under them.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKXVIEW_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags -O1" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-asan --parallel "$(nproc)"
export JET_SAMPLES="${JET_SAMPLES:-$(cd .. && pwd)/shared/jet-samples}"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The engine's tests (label "engine") also check for leaks; Qt keeps some allocations for the process.
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure --timeout 1800 -L engine
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure --timeout 1800 -LE "engine|install"

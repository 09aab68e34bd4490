#!/usr/bin/env bash
# Sets up and builds, then runs every test: the normal build, and the core
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

[ -f build-asan/build.ninja ] || cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVREL_CORE_ONLY=ON -DVREL_SANITIZE=ON -DVREL_BENCH=OFF >/dev/null
cmake --build build-asan

jobs=$(nproc)
echo "== tests =="
ctest --test-dir build --output-on-failure -j "$jobs"
echo "== core tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

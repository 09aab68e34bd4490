#!/usr/bin/env bash
# Builds the benchmarks in an optimised build and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
[ -f build-bench/build.ninja ] || cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench
for b in build-bench/bench/*_bench; do
  echo "== $(basename "$b") =="
  "$b"
done

#!/usr/bin/env bash
# Prints the cache index figures (Release build).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench-core -DCMAKE_BUILD_TYPE=Release -DGAMESHELL_CORE_ONLY=ON \
  -DGAMESHELL_TESTS=OFF >/dev/null
cmake --build build-bench-core -j"$(nproc)" --target cache_index_bench >/dev/null
build-bench-core/cache_index_bench

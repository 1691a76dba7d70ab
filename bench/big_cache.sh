#!/usr/bin/env bash
# Start, close and memory with a cache of 200,000 resources against an empty one (see big_cache.py).
# Usage: bench/big_cache.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
# The cache load benchmark's build and port: one Release build serves both.
port=18498
bash bench/release_build.sh $port gameshell_chromium
run=(/usr/bin/python3 bench/big_cache.py "$PWD/build-bench-cache/bin/gameshell" $port "${1:-5}")
bash bench/on_display.sh "${run[@]}"

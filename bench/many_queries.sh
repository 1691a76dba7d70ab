#!/usr/bin/env bash
# Many addresses at once against the shell's downloads and descriptors (see many_queries.py).
# Usage: bench/many_queries.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
port=18499
bash bench/release_build.sh $port gameshell_chromium
run=(/usr/bin/python3 bench/many_queries.py "$PWD/build-bench-cache/bin/gameshell" $port "${1:-3}")
bash bench/on_display.sh "${run[@]}"

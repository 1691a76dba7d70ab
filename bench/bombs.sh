#!/usr/bin/env bash
# Decompression bombs against the shell's memory and its other downloads (see bombs.py).
# Usage: bench/bombs.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
port=18498
bash bench/release_build.sh $port gameshell_chromium
run=(/usr/bin/python3 bench/bombs.py "$PWD/build-bench-cache/bin/gameshell" $port "${1:-3}")
bash bench/on_display.sh "${run[@]}"

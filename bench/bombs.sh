#!/usr/bin/env bash
# Decompression bombs against the shell's memory and its other downloads (see bombs.py).
# Usage: bench/bombs.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
# The cache load benchmark's build and port: one Release build serves both.
port=18498
command -v xvfb-run >/dev/null || bash scripts/install-deps.sh
cmake -S . -B build-bench-cache -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port -DGAMESHELL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench-cache -j"$(nproc)" --target gameshell >/dev/null
run=(/usr/bin/python3 bench/bombs.py "$PWD/build-bench-cache/bin/gameshell" $port "${1:-3}")
if [ -n "${DISPLAY:-}" ]; then "${run[@]}"; else
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "${run[@]}"; fi

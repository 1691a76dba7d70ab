#!/usr/bin/env bash
# Resource cache load benchmark (see cache_load.py). Usage: bench/cache_load.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
port=18498
command -v nginx >/dev/null || bash scripts/install-deps.sh
cmake -S . -B build-bench-cache -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port -DGAMESHELL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release -DGAMESHELL_MEASURE_UI_STALLS=ON >/dev/null
cmake --build build-bench-cache -j"$(nproc)" --target gameshell minimal_browser >/dev/null
run=(/usr/bin/python3 bench/cache_load.py "$PWD/build-bench-cache/bin/gameshell"
     "$PWD/build-bench-cache/bin/minimal_browser" $port "${1:-3}")
if [ -n "${DISPLAY:-}" ]; then "${run[@]}"; else
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "${run[@]}"; fi

#!/usr/bin/env bash
# Start-up time and memory of gameshell against a minimal Qt WebEngine program, same run.
# Usage: bench/startup.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
port=18499
cmake -S . -B build-bench -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port -DGAMESHELL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j"$(nproc)" --target gameshell minimal_browser >/dev/null
run=(/usr/bin/python3 bench/startup.py "$PWD/build-bench/bin/gameshell" "$PWD/build-bench/bin/minimal_browser" $port "${1:-5}")
bash bench/on_display.sh "${run[@]}"

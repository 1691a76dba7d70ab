#!/usr/bin/env bash
# Start-up time (window shown, first paint) and memory of gameshell against a minimal Qt WebEngine
# program, same run.
# Usage: bench/startup.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
# The cache load benchmark's build and port: one Release build serves both.
port=18498
bash bench/release_build.sh $port gameshell minimal_browser
run=(/usr/bin/python3 bench/startup.py "$PWD/build-bench-cache/bin/gameshell"
     "$PWD/build-bench-cache/bin/minimal_browser" $port "${1:-5}")
bash bench/on_display.sh "${run[@]}"

#!/usr/bin/env bash
# A power cut on ext4 with one shell and with two on one cache root (see power_cut.py). Needs
# root and loop devices.
# Usage: bench/power_cut.sh [cuts per shape]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench-core -DCMAKE_BUILD_TYPE=Release -DGAMESHELL_CORE_ONLY=ON \
  -DGAMESHELL_TESTS=OFF >/dev/null
cmake --build build-bench-core -j"$(nproc)" --target power_cut_writer >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 bench/power_cut.py "$PWD/build-bench-core/power_cut_writer" "$work" "${1:-2}"

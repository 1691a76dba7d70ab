#!/usr/bin/env bash
# The benchmarks' one Release build, for the login host 127.0.0.1:$1, of the targets that follow.
# Usage: bench/release_build.sh <port> <target>...
set -euo pipefail
cd "$(dirname "$0")/.."
port=$1
shift
command -v xvfb-run >/dev/null || bash scripts/install-deps.sh
cmake -S . -B build-bench-cache -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port -DGAMESHELL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench-cache -j"$(nproc)" --target "$@" >/dev/null

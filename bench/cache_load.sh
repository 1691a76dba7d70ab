#!/usr/bin/env bash
# Resource cache load benchmark (see cache_load.py; GS_BENCH_SCRIPT names another script of the
# same arguments).
# Usage: bench/cache_load.sh [runs] [--limited]
# --limited: everything (server, Xvfb, browsers) runs in a private network namespace whose loopback
# is limited to 100 Mbit/s, as a player's link would be. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
port=18498
if [ "${2:-}" = "--limited" ] && [ -z "${GS_BENCH_NETNS:-}" ]; then
  cmake -S . -B build-bench-cache -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port -DGAMESHELL_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-bench-cache -j"$(nproc)" --target gameshell_ui_stalls minimal_browser >/dev/null
  exec unshare -n env -u DISPLAY GS_BENCH_NETNS=1 bash "$0" "${1:-3}" --limited
fi
if [ -n "${GS_BENCH_NETNS:-}" ]; then
  ip link set lo mtu 1500 up
  tc qdisc add dev lo root tbf rate 100mbit burst 256kb latency 200ms
  echo "loopback limited to 100 Mbit/s"
fi
command -v nginx >/dev/null || bash scripts/install-deps.sh
cmake -S . -B build-bench-cache -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port -DGAMESHELL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench-cache -j"$(nproc)" --target gameshell_ui_stalls minimal_browser >/dev/null
run=(/usr/bin/python3 "bench/${GS_BENCH_SCRIPT:-cache_load.py}" "$PWD/build-bench-cache/bin/ui-stalls/gameshell"
     "$PWD/build-bench-cache/bin/minimal_browser" $port "${1:-3}")
bash bench/on_display.sh "${run[@]}"

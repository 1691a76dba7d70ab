#!/usr/bin/env bash
# The shell on the system's Chromium against that Chromium without the shell (see
# chromium_engine.py).
# Usage: bench/chromium_engine.sh <load|compressed|startup> [runs] [--limited]
# --limited: everything runs in a private network namespace whose loopback is limited to
# 100 Mbit/s, as a player's link would be. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
port=18498
mode=${1:-load}
if [ "${3:-}" = "--limited" ] && [ -z "${GS_BENCH_NETNS:-}" ]; then
  bash bench/release_build.sh $port gameshell_chromium
  exec unshare -n env -u DISPLAY GS_BENCH_NETNS=1 bash "$0" "$mode" "${2:-3}" --limited
fi
if [ -n "${GS_BENCH_NETNS:-}" ]; then
  ip link set lo mtu 1500 up
  tc qdisc add dev lo root tbf rate 100mbit burst 256kb latency 200ms
  echo "loopback limited to 100 Mbit/s"
fi
command -v nginx >/dev/null || bash scripts/install-deps.sh
bash bench/release_build.sh $port gameshell_chromium
run=(/usr/bin/python3 bench/chromium_engine.py "$mode" "$PWD/build-bench-cache/bin/gameshell" $port
     "${2:-3}")
bash bench/on_display.sh "${run[@]}"

#!/usr/bin/env bash
# Builds the shell for the demo game and runs it: the demo server listens on 127.0.0.1:8431, the
# shell runs in build-demo/run (its cache root). Extra arguments are passed to the shell as launch
# parameters. Without a display, the shell runs inside Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
port=8431

[ -n "${GAMESHELL_DEMO_DEPS_DONE:-}" ] || bash scripts/install-deps.sh run
# Started with sudo: root only installs the packages; the player who called builds and plays, with
# the browser's sandbox on (as root it cannot sandbox its pages).
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  exec sudo -u "$SUDO_USER" env GAMESHELL_DEMO_DEPS_DONE=1 DISPLAY="${DISPLAY:-}" \
    XAUTHORITY="${XAUTHORITY:-}" bash scripts/run-demo.sh "$@"
fi
# Configured once; the build itself notices what changed since, and otherwise does nothing.
if [ ! -f build-demo/CMakeCache.txt ]; then
  cmake -S . -B build-demo -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port -DGAMESHELL_TESTS=OFF >/dev/null
fi
# Built only when a source is newer than the shell: asking the build tool costs seconds itself.
if [ ! -x build-demo/bin/gameshell ] || [ -n "$(find CMakeLists.txt cmake app base bridge cache \
    client platform window -newer build-demo/bin/gameshell -print -quit)" ]; then
  cmake --build build-demo -j"$(nproc)" --target gameshell_chromium gameshell_box
fi

python3 demo/server.py --port $port --log build-demo/requests.log >/dev/null &
server=$!
trap 'kill $server 2>/dev/null' EXIT
sleep 0.5

mkdir -p build-demo/run
cd build-demo/run
params=("$@")
[ ${#params[@]} -gt 0 ] || params=("extraInfo:user:demo,server:1")
if [ -n "${DISPLAY:-}" ]; then
  ../bin/gameshell "${params[@]}"
else
  echo "No display: running inside Xvfb (close the window with xdotool, or stop with Ctrl+C)."
  xvfb-run -a -s "-screen 0 1920x1080x24" ../bin/gameshell "${params[@]}"
fi

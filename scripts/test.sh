#!/usr/bin/env bash
# Builds everything and runs every test, from a fresh Debian machine: installs the packages,
# runs the engine-neutral core under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# whole suite (unit and end-to-end tests) under Xvfb against the demo server, then
# the Debian package, and the Windows shell cross-built with mingw-w64, under Wine against a
# stand-in for Edge.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DGAMESHELL_CORE_ONLY=ON \
  -DGAMESHELL_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

if command -v clang++ >/dev/null; then
  CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DGAMESHELL_CORE_ONLY=ON \
    -DGAMESHELL_TESTS=OFF -DGAMESHELL_FUZZ=ON >/dev/null
  cmake --build build-fuzz -j"$jobs"
  bash scripts/fuzz.sh build-fuzz 5
fi

# The test builds have the login host's port compiled in: the port of the last build while it is
# free (no rebuild), otherwise a free one, so that a second run on this machine does not collide.
port_is_free() {
  /usr/bin/python3 -c 'import socket, sys; socket.socket().bind(("127.0.0.1", int(sys.argv[1])))' \
    "$1" 2>/dev/null
}
port=$(sed -n 's/^GAMESHELL_LOGIN_HOST:STRING=127\.0\.0\.1:\([0-9]*\)$/\1/p' \
  build-test/CMakeCache.txt 2>/dev/null || true)
port=${port:-18431}
if ! port_is_free "$port"; then
  port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
fi
echo "test.sh: the tests' login host is 127.0.0.1:$port"

cmake -S . -B build-test -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port >/dev/null
cmake --build build-test -j"$jobs"
# -noreset: the display must outlive each shell the tests start and stop.
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  ctest --test-dir build-test --output-on-failure

# The Debian package, built for the demo host, checked and run as extracted.
bash scripts/package.sh -DGAMESHELL_LOGIN_HOST=127.0.0.1:$port >/dev/null
(cd tests/e2e && GAMESHELL_DEB="$(ls "$PWD"/../../build-package/gameshell_*.deb)" \
  GAMESHELL_BIN="$PWD/../../build-package/bin/gameshell" LOGIN_PORT=$port \
  DEMO_SERVER="$PWD/../../demo/server.py" DEMO_ROOT="$PWD/../../demo/www" PYTHONDONTWRITEBYTECODE=1 \
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" /usr/bin/python3 -m unittest -v test_package)

# The same package on Debian 13, in a clean root made from Debian's archive.
bash scripts/check-debian13.sh "$(ls build-package/gameshell_*.deb)" "$port"

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build-windows -j"$jobs"
# The Windows shell's boxes need a display; a Wine server left from an earlier run would keep
# that run's (gone) display.
/usr/lib/wine/wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ctest --test-dir build-windows --output-on-failure

#!/usr/bin/env bash
# Builds the Debian package of the shell into build-package/. Extra arguments go to CMake, for
# example: scripts/package.sh -DGAMESHELL_LOGIN_HOST=login.example.net
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DGAMESHELL_TESTS=OFF "$@" >/dev/null
cmake --build build-package -j"$(nproc)" --target gameshell_chromium gameshell_box
(cd build-package && cpack -G DEB >/dev/null)
ls build-package/gameshell_*.deb

#!/usr/bin/env bash
# Installs the Debian packages the shell needs: "run" (the default for scripts/run-demo.sh) what
# building and running it takes; "package" also what building its Debian package takes; "test"
# also what the tests, the Windows cross-build and the benchmarks take. Safe to run again: apt-get
# skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
what=${1:-test}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
run_packages=(
  cmake g++ make pkg-config
  qt6-base-dev
  libgl1-mesa-dri libglx-mesa0 fonts-dejavu-core fonts-wqy-microhei
  zlib1g-dev libbrotli-dev libxcb1-dev nlohmann-json3-dev python3 chromium
)
# A virtual display only where there is no real one (the tests always use one).
if [ "$what" = test ] || [ -z "${DISPLAY:-}" ]; then run_packages+=(xvfb xauth); fi
test_packages=(
  googletest libgtest-dev libgmock-dev
  python3-xlib procps iproute2 clang libclang-rt-14-dev nginx-light
  g++-mingw-w64-x86-64-posix wine64 libz-mingw-w64-dev
  fontconfig dpkg-dev desktop-file-utils appstream lintian mmdebstrap
  libnss3-tools python3-cryptography python3-websocket openssl openbox nsis
)
package_packages=(dpkg-dev)
packages=("${run_packages[@]}")
if [ "$what" = package ]; then packages+=("${package_packages[@]}"); fi
if [ "$what" = test ]; then packages+=("${package_packages[@]}" "${test_packages[@]}"); fi
# With every package there, nothing is asked of the network: a later start takes a moment.
missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -gt 0 ] || exit 0
echo "Installing ${#missing[@]} Debian packages and what they need (once; a few minutes the first time)..."
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages the shell needs: "run" (the default for scripts/run-demo.sh) what
# building and running it takes; "test" also what the tests, the Windows cross-build, the package
# and the benchmarks take. Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
what=${1:-test}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
run_packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-webengine-dev qt6-webchannel-dev libqt6webenginecore6-bin
  libgl1-mesa-dri libglx-mesa0 fonts-dejavu-core fonts-wqy-microhei
  zlib1g-dev libbrotli-dev
  xvfb xauth python3
)
test_packages=(
  googletest libgtest-dev libgmock-dev
  python3-xlib procps iproute2 clang libclang-rt-14-dev nginx-light
  g++-mingw-w64-x86-64-posix wine64 libz-mingw-w64-dev
  fontconfig dpkg-dev desktop-file-utils appstream lintian mmdebstrap
  libnss3-tools python3-cryptography python3-websocket openssl openbox
)
packages=("${run_packages[@]}")
if [ "$what" = test ]; then packages+=("${test_packages[@]}"); fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null

#!/usr/bin/env bash
# Installs every Debian package the build, the run, the tests and the benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  cmake g++ make pkg-config googletest libgtest-dev libgmock-dev \
  qt6-base-dev qt6-webengine-dev qt6-webchannel-dev libqt6webenginecore6-bin \
  libgl1-mesa-dri libglx-mesa0 fonts-dejavu-core \
  xvfb xauth \
  python3 python3-xlib procps iproute2 clang libclang-rt-14-dev nginx-light \
  g++-mingw-w64-x86-64-posix wine64 \
  zlib1g-dev libbrotli-dev libz-mingw-w64-dev \
  fonts-wqy-microhei fontconfig dpkg-dev desktop-file-utils appstream lintian >/dev/null

#!/usr/bin/env bash
# The package on Debian 13 (trixie, the stable release; Debian 12, where it is built, is
# oldstable), with trixie's own Chromium and libraries: installs the built package with apt into a
# clean trixie root made here from Debian's archive, runs the installed-package test there as an
# ordinary user with the browser's sandbox on, removes the package, then builds the shell in that
# root with trixie's compiler and warnings as errors. Needs root (mounts, a mount namespace).
#   scripts/check-debian13.sh <gameshell_*.deb> <login port the package was built for>
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(readlink -f "$1")
port=$2
# The archive this machine's own apt is configured with: the one that carries its release itself
# (not its -updates or -security suites).
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=${DEBIAN_MIRROR:-$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' |
  awk -v release="$release" '$2 == release { print $1; exit }')}
if [ -z "$mirror" ]; then
  echo "no archive of $release in this machine's apt sources; set DEBIAN_MIRROR" >&2
  exit 1
fi
root=$(mktemp -d /var/tmp/gameshell-trixie-XXXXXX)
cleanup() {
  umount -R "$root/dev" 2>/dev/null || true
  umount "$root/proc" 2>/dev/null || true
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

echo "Debian 13 root from $mirror"
mmdebstrap --quiet --variant=minbase --include=python3,python3-xlib,xvfb,xauth,procps \
  trixie "$root" "$mirror"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
# Not a plain chroot: the kernel refuses user namespaces to a chrooted process, and the browser's
# sandbox needs them. The root becomes the root of a mount namespace of its own instead.
in_root() {
  unshare --mount --propagation private -- /bin/sh -c \
    'mount --rbind "$0" "$0" && cd "$0" && mkdir -p .host && pivot_root . .host &&
     umount -l /.host && rmdir /.host && exec chroot / "$@"' "$root" \
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@"
}
in_root apt-get update -qq

echo "The package, installed with apt and played as an ordinary user"
cp "$deb" "$root/tmp/gameshell.deb"
in_root apt-get install -y -qq --no-install-recommends /tmp/gameshell.deb >/dev/null
in_root dpkg-query -W -f='${Package} ${Version}: engine chromium ' gameshell
in_root dpkg-query -W -f='${Version}\n' chromium
mkdir -p "$root/opt/gameshell-test"
cp -r tests/e2e tests/pages demo "$root/opt/gameshell-test/"
in_root sh -c "cd /opt/gameshell-test/e2e && GAMESHELL_BIN=/usr/bin/varnholt LOGIN_PORT=$port \
  DEMO_SERVER=/opt/gameshell-test/demo/server.py DEMO_ROOT=/opt/gameshell-test/demo/www \
  PAGES=/opt/gameshell-test/pages PYTHONDONTWRITEBYTECODE=1 \
  xvfb-run -a -s '-screen 0 1920x1080x24 -noreset' python3 -m unittest -v test_installed_package"
in_root apt-get remove -y -qq gameshell >/dev/null
if [ -e "$root/usr/lib/gameshell/gameshell" ] || [ -e "$root/usr/bin/varnholt" ]; then
  echo "removing the package left its files" >&2
  exit 1
fi

echo "The shell built on Debian 13, warnings as errors"
in_root apt-get install -y -qq --no-install-recommends cmake g++ make pkg-config qt6-base-dev \
  zlib1g-dev libbrotli-dev libxcb1-dev \
  nlohmann-json3-dev >/dev/null
mkdir -p "$root/opt/gameshell-src"
git ls-files -z | xargs -0 tar -cf - | tar -xf - -C "$root/opt/gameshell-src"
in_root cmake -S /opt/gameshell-src -B /opt/gameshell-build -DGAMESHELL_TESTS=OFF \
  -DCMAKE_CXX_FLAGS=-Werror >/dev/null
in_root cmake --build /opt/gameshell-build -j"$(nproc)" --target gameshell_chromium gameshell_box
echo "Debian 13: passed"

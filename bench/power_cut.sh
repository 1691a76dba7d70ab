#!/usr/bin/env bash
# A power cut during a first run, on ext4: how many of the run's index lines survive it, and
# whether any names bytes that did not. The disk is a loop device; the cut is a copy of its image
# taken while the writer runs (what reached the device and nothing else), mounted afterwards with
# its journal replayed. Needs root and loop devices.
# Usage: bench/power_cut.sh [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench-core -DCMAKE_BUILD_TYPE=Release -DGAMESHELL_CORE_ONLY=ON \
  -DGAMESHELL_TESTS=OFF >/dev/null
cmake --build build-bench-core -j"$(nproc)" --target power_cut_writer >/dev/null
writer=$PWD/build-bench-core/power_cut_writer
work=$(mktemp -d)
# Only the loop devices this script attached: others on the machine are none of its business.
devices=()
cleanup() {
  umount -q "$work/live" "$work/cut" 2>/dev/null || true
  for device in "${devices[@]}"; do losetup -d "$device" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/live" "$work/cut"
resources=300
echo "ext4, $resources resources of 20 kB stored over about 2 s, the disk cut N s after the last"
for settle in 0 0.5 2; do
  for _ in $(seq "${1:-1}"); do
    truncate -s 128M "$work/disk.img"
    mkfs.ext4 -q -F "$work/disk.img"
    live=$(losetup -f --show "$work/disk.img")
    devices+=("$live")
    mount "$live" "$work/live"
    mkdir "$work/live/root"
    (cd "$work/live/root" && exec "$writer" $resources >"$work/out" 2>&1) &
    pid=$!
    until grep -q stored "$work/out" 2>/dev/null; do sleep 0.05; done
    sleep "$settle"
    cp --sparse=always "$work/disk.img" "$work/cut.img"
    kill -9 $pid
    wait $pid 2>/dev/null || true
    umount "$work/live"
    losetup -d "$live"
    cut=$(losetup -f --show "$work/cut.img")
    devices+=("$cut")
    mount "$cut" "$work/cut"
    lines=0
    wrong=0
    while read -r key value; do
      [ "$key" = version ] && continue
      lines=$((lines + 1))
      [ "$(stat -c %s "$work/cut/root/$key" 2>/dev/null)" = 20000 ] || wrong=$((wrong + 1))
    done <"$work/cut/root/fileList.txt"
    files=$(find "$work/cut/root/r" -type f -size 20000c | wc -l)
    printf '  cut %3s s after: index lines %3d of %d, whole files %3d, lines naming wrong bytes %d\n' \
      "$settle" $lines $resources "$files" $wrong
    umount "$work/cut"
    losetup -d "$cut"
  done
done

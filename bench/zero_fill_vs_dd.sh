#!/usr/bin/env bash
# Times a full zero-fill run of the program's engine against dd on the same loop-mounted ext4
# image, and measures how much free space a run (as root) leaves unzeroed with and without the
# top-up of the blocks ext4 keeps for root.
#   bash bench/zero_fill_vs_dd.sh [build folder] [image MiB]
# Needs root and loop devices (exits 77 with the reason otherwise). The window as a user runs it:
# bench/window_fill_vs_dd.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-3584}
fill=$build/bench/morvane_fill
fs=$root/tests/fs/fs_image.sh
work=${MORVANE_BENCH_DIR:-/var/tmp/morvane-bench}
image=$work/bench.img
point="$work/точка монтирования"

[ -x "$fill" ] || { echo "build first: $fill missing"; exit 2; }
bash "$fs" check "$work" $((mib + 256))
trap 'bash "$fs" sweep "$work"' EXIT

bash "$fs" make "$image" "$mib" ext4
bash "$fs" mount "$image" "$point"
echo "ext4 image of $mib MiB, $(df -B1 --output=avail "$point" | tail -1) bytes free for users"

nanoseconds() { local t0; t0=$(date +%s%N); "$@" >/dev/null; echo $(( $(date +%s%N) - t0 )); }
dd_fill() {
  dd if=/dev/zero of="$point/dd.fill" bs=1M conv=fsync status=none 2>/dev/null || true
  rm -f "$point/dd.fill"; sync
}
program_fill() { "$fill" "$point"; sync; }

# The first fill makes the host allocate the sparse image; it is not timed.
dd_fill
# Alternate the two so that drifts of the virtual disk hit both alike.
dd_total=0; run_total=0
for round in 1 2 3; do
  t=$(nanoseconds dd_fill); dd_total=$((dd_total + t))
  u=$(nanoseconds program_fill); run_total=$((run_total + u))
  awk -v r="$round" -v t="$t" -v u="$u" 'BEGIN { printf "round %d  dd %.2f s  morvane_fill %.2f s\n", r, t / 1e9, u / 1e9 }'
done
awk -v t="$dd_total" -v u="$run_total" \
  'BEGIN { printf "dd total %.2f s, run total %.2f s, ratio run/dd = %.3f\n", t / 1e9, u / 1e9, u / t }'

# Free space left unzeroed: mark it with 0xFF, run, count the marked 4 KiB blocks.
for mode in --no-top-up --top-up; do
  bash "$fs" pattern "$point"
  "$fill" "$point" "$mode"
  bash "$fs" umount "$point"
  left=$(bash "$fs" count "$image")
  awk -v m="$mode" -v n="$left" \
    'BEGIN { printf "root run %-12s %7d blocks (%6.1f MiB) of free space left unzeroed\n", m, n, n / 256 }'
  bash "$fs" mount "$image" "$point"
done

#!/usr/bin/env bash
# Times morvane-fill, as a provisioning script runs it, against dd filling the same loop-mounted
# image, in alternating rounds, and compares the medians; then marks the free space with 0xFF and
# counts what each leaves unzeroed.
#   bash bench/zero_fill_vs_dd.sh [build folder] [image MiB] [ext4|xfs|btrfs] [rounds]
# Needs root and loop devices (exits 77 with the reason otherwise). The window as a user runs it:
# bench/window_fill_vs_dd.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-3584}
type=${3:-ext4}
rounds=${4:-5}
fill=$build/linux/fill/morvane-fill
fs=$root/tests/fs/fs_image.sh
work=${MORVANE_BENCH_DIR:-/var/tmp/morvane-bench}
image=$work/bench.img
point="$work/точка монтирования"

[ -x "$fill" ] || { echo "build first: $fill missing"; exit 2; }
bash "$fs" check "$work" $((mib + 256))
trap 'bash "$fs" sweep "$work"' EXIT

bash "$fs" make "$image" "$mib" "$type"
bash "$fs" mount "$image" "$point"
# Direct I/O on the backing file, as a disk does: otherwise its own page cache shows every write
# as dirty, a direct one included.
losetup --direct-io=on "$(findmnt -no SOURCE --mountpoint "$point" | tail -n 1)"
echo "$type image of $mib MiB, $(df -B1 --output=avail "$point" | tail -1) bytes free for users; load: $(cut -d' ' -f1-3 /proc/loadavg)"

. "$(dirname "$0")/dirty_peak.sh"
# Runs "$@" and prints its seconds and the peak of dirty page-cache memory meanwhile.
timed() {
  local t0 t1
  dirty_watch_start
  t0=$(date +%s%N); "$@" >/dev/null; t1=$(date +%s%N)
  awk -v t=$((t1 - t0)) -v p="$(dirty_watch_stop)" 'BEGIN { printf "%.3f %d\n", t / 1e9, p }'
}
dd_fill() {
  dd if=/dev/zero of="$point/dd.fill" bs=1M conv=fsync status=none 2>/dev/null || true
  rm -f "$point/dd.fill"; sync
}
program_fill() { "$fill" --quiet "$point"; sync; }
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

# The first fill makes the host allocate the sparse image; it is not timed.
dd_fill
dd_times=(); run_times=()
for round in $(seq "$rounds"); do
  # Alternate which goes first, so that drifts of the virtual disk hit both alike.
  if [ $((round % 2)) = 1 ]; then read -r t dp < <(timed dd_fill); read -r u rp < <(timed program_fill)
  else read -r u rp < <(timed program_fill); read -r t dp < <(timed dd_fill); fi
  dd_times+=("$t"); run_times+=("$u")
  printf 'round %d  dd %6.2f s (Dirty peak %4d MiB)  morvane-fill %6.2f s (Dirty peak %4d MiB)\n' \
    "$round" "$t" "$dp" "$u" "$rp"
done
dd_median=$(printf '%s\n' "${dd_times[@]}" | median)
run_median=$(printf '%s\n' "${run_times[@]}" | median)
awk -v t="$dd_median" -v u="$run_median" -v r="$rounds" \
  'BEGIN { printf "medians of %d rounds: dd %.2f s, morvane-fill %.2f s, ratio morvane-fill/dd = %.3f\n", r, t, u, u / t }'

# Free space left unzeroed by each on the same image, marked with 0xFF before each fill.
for tool in dd_fill program_fill; do
  bash "$fs" pattern "$point"
  "$tool"
  bash "$fs" umount "$point"
  left=$(bash "$fs" count "$image")
  name=dd; [ "$tool" = dd_fill ] || name=morvane-fill
  awk -v m="$name" -v n="$left" \
    'BEGIN { printf "%-12s left %7d blocks (%6.1f MiB) of the marked free space unzeroed\n", m, n, n / 256 }'
  bash "$fs" mount "$image" "$point"
done

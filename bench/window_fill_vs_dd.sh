#!/usr/bin/env bash
# Times full runs of the real window (morvane_qt on an X display of its own, the partition picked,
# Start, Yes, no cancel option) against `dd if=/dev/zero bs=1M conv=fsync` on the same image, in
# alternating rounds, for ext4, xfs, btrfs and tmpfs. Prints the median times, their ratio, and the
# peak of "Dirty" in /proc/meminfo during each kind of fill; beside them, the device's own limit:
# direct writes over a raw loop device of the same size.
#   bash bench/window_fill_vs_dd.sh [build folder] [image MiB] [rounds] [display] [types...]
# Needs root, loop devices, Xvfb and xdotool (exits 77 with the reason otherwise).
# The images' loop devices do direct I/O on their backing files, as a disk would: otherwise the
# backing file's own page cache shows every write as dirty, a direct one included.
# Dirty is machine-wide: other programs writing at the same time raise it too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mib=${2:-3584}
rounds=${3:-3}
display=${4:-:101}
shift $(( $# < 4 ? $# : 4 ))
types=("${@:-ext4}")
[ $# -eq 0 ] && types=(ext4 xfs btrfs tmpfs)
program=$build/linux/morvane_qt
fs=$root/tests/fs/fs_image.sh
work=${MORVANE_BENCH_DIR:-$build/fs-volumes/bench}
image=$work/bench.img
point="$work/точка монтирования"

[ -x "$program" ] || { echo "build first: $program missing"; exit 2; }
command -v xdotool >/dev/null && command -v Xvfb >/dev/null || { echo "SKIP: needs xdotool and Xvfb"; exit 77; }
bash "$fs" check "$work" $((2 * mib + 256))
own_display=
cleanup() {
  [ -n "${window_pid:-}" ] && kill "$window_pid" 2>/dev/null || true
  [ -n "$own_display" ] && sh "$root/tests/xvfb.sh" stop "$display"
  bash "$fs" sweep "$work"
}
trap cleanup EXIT
export DISPLAY=$display
if ! xdpyinfo >/dev/null 2>&1; then
  own_display=1
  sh "$root/tests/xvfb.sh" start "$display" >/dev/null || exit 1
fi

. "$(dirname "$0")/dirty_peak.sh"
. "$(dirname "$0")/window_driver.sh"
# Runs "$@" while sampling Dirty; prints "<nanoseconds> <peak MiB>".
measured() {
  dirty_watch_start
  local t0; t0=$(date +%s%N)
  "$@" >/dev/null
  local t=$(( $(date +%s%N) - t0 ))
  echo "$t $(dirty_watch_stop)"
}
dd_fill() {
  dd if=/dev/zero of="$point/dd.fill" bs=1M conv=fsync status=none 2>/dev/null || true
  rm -f "$point/dd.fill"; sync -f "$point"
}
# The device's own limit: direct 64 MiB writes over the whole of a raw loop device of the same
# size and kind, beside the image (no file system at all).
raw_fill() {
  truncate -s "${mib}M" "$work/raw.img"
  local dev; dev=$(losetup -f --show --direct-io=on "$work/raw.img")
  dd if=/dev/zero of="$dev" bs=64M count=$((mib / 64)) oflag=direct status=none
  losetup -d "$dev"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for type in "${types[@]}"; do
  if [ "$type" = tmpfs ]; then
    # Named like a device, so that the window lists it as a user would see a partition.
    mkdir -p "$point"; mount -t tmpfs -o "size=$((mib / 2))m" /dev/morvane-bench "$point"
  else
    bash "$fs" make "$image" "$mib" "$type"
    bash "$fs" mount "$image" "$point"
    losetup --direct-io=on "$(findmnt -no SOURCE --mountpoint "$point" | tail -n 1)"
  fi
  window_start
  dd_fill  # the first fill makes the host allocate the sparse image; not timed
  [ "$type" != tmpfs ] && raw_fill  # the host allocates this sparse image too; not timed
  : >"$work/dd.t"; : >"$work/run.t"; : >"$work/raw.t"; dd_dirty=0; run_dirty=0
  for round in $(seq "$rounds"); do
    read -r t d < <(measured dd_fill); echo "$t" >>"$work/dd.t"; [ "$d" -gt "$dd_dirty" ] && dd_dirty=$d
    window_ask
    read -r u e < <(measured window_fill); echo "$u" >>"$work/run.t"; [ "$e" -gt "$run_dirty" ] && run_dirty=$e
    [ "$type" != tmpfs ] && { read -r w _ < <(measured raw_fill); echo "$w" >>"$work/raw.t"; }
    awk -v ty="$type" -v r="$round" -v t="$t" -v u="$u" -v d="$d" -v e="$e" 'BEGIN {
      printf "%-5s round %d  dd %.2f s (Dirty peak %d MiB)  window %.2f s (Dirty peak %d MiB)\n", ty, r, t / 1e9, d, u / 1e9, e }'
  done
  kill "$window_pid"; wait "$window_pid" 2>/dev/null || true; window_pid=
  dd_med=$(median <"$work/dd.t"); run_med=$(median <"$work/run.t")
  awk -v ty="$type" -v t="$dd_med" -v u="$run_med" -v d="$dd_dirty" -v e="$run_dirty" 'BEGIN {
    printf "%-5s median dd %.2f s, window %.2f s, ratio %.2f; Dirty peak dd %d MiB, window %d MiB\n", ty, t / 1e9, u / 1e9, u / t, d, e }'
  if [ -s "$work/raw.t" ]; then
    raw_med=$(median <"$work/raw.t")
    awk -v ty="$type" -v w="$raw_med" -v u="$run_med" 'BEGIN {
      printf "%-5s median raw device (direct writes, no file system) %.2f s; window / raw device %.2f\n", ty, w / 1e9, u / w }'
  fi
  bash "$fs" umount "$point"; rm -f "$image" "$work/raw.img"
done

#!/usr/bin/env bash
# Fills the same loop-mounted image, in alternating rounds, with dd in its two usual forms, with
# morvane-fill and with the real window, and writes the device's own limit beside them: one zeroed
# buffer written again and again with direct 64 MiB writes over a raw loop device of the same size
# (xfs_io; dd would copy every block from /dev/zero first). Prints per file system the medians, the
# peaks of dirty page-cache memory and each median's ratio to the device's, then the README table.
#   bash bench/fill_vs_device.sh [build folder] [image MiB] [rounds] [display] [ext4 xfs btrfs]
# Needs root, loop devices, xfs_io, Xvfb and xdotool (exits 77 with the reason otherwise). Every
# loop device does direct I/O on its backing file, as a disk would. Dirty counts the benchmark's
# own pages where a cgroup v1 memory controller can hold it, else the machine's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mib=${2:-3072}
rounds=${3:-5}
display=${4:-:101}
shift $(( $# < 4 ? $# : 4 ))
types=("$@")
[ $# -eq 0 ] && types=(ext4 xfs btrfs)
program=$build/linux/morvane_qt
fill=$build/linux/fill/morvane-fill
fs=$root/tests/fs/fs_image.sh
work=${MORVANE_BENCH_DIR:-$build/fs-volumes/bench}
image=$work/bench.img
point="$work/точка монтирования"
methods=(device dd_buffered dd_direct morvane_fill window)

[ -x "$program" ] && [ -x "$fill" ] || { echo "build first: $program or $fill missing"; exit 2; }
for tool in xdotool Xvfb xfs_io; do command -v "$tool" >/dev/null || { echo "SKIP: needs $tool"; exit 77; }; done
bash "$fs" check "$work" $((2 * mib + 256))
own_display=
cleanup() {
  [ -n "${window_pid:-}" ] && kill "$window_pid" 2>/dev/null || true
  [ -n "$own_display" ] && sh "$root/tests/xvfb.sh" stop "$display"
  [ -n "${raw_dev:-}" ] && losetup -d "$raw_dev" 2>/dev/null || true
  bash "$fs" sweep "$work"
  if [ -n "${dirty_cgroup:-}" ]; then
    echo $$ >/sys/fs/cgroup/memory/cgroup.procs; rmdir "$dirty_cgroup" 2>/dev/null || true
  fi
}
trap cleanup EXIT
export DISPLAY=$display
if ! xdpyinfo >/dev/null 2>&1; then
  own_display=1
  sh "$root/tests/xvfb.sh" start "$display" >/dev/null || exit 1
fi

. "$(dirname "$0")/dirty_peak.sh"
dirty_cgroup=/sys/fs/cgroup/memory/morvane-bench-$$
if mkdir "$dirty_cgroup" 2>/dev/null; then echo $$ >"$dirty_cgroup/cgroup.procs"; else dirty_cgroup=; fi
. "$(dirname "$0")/window_driver.sh"
# Runs "$@" while sampling Dirty; prints "<seconds> <peak MiB>".
measured() {
  dirty_watch_start
  local t0; t0=$(date +%s%N)
  "$@" >/dev/null || { dirty_watch_stop >/dev/null; echo "$* failed" >&2; return 1; }
  local t=$(( $(date +%s%N) - t0 ))
  awk -v t="$t" -v p="$(dirty_watch_stop)" 'BEGIN { printf "%.3f %d\n", t / 1e9, p }'
}
dd_until_full() {
  dd if=/dev/zero of="$point/dd.fill" "$@" status=none 2>/dev/null || true
  rm -f "$point/dd.fill"; sync -f "$point"
}
dd_buffered() { dd_until_full bs=1M conv=fsync; }
dd_direct() { dd_until_full bs=64M oflag=direct conv=fsync; }
morvane_fill() { "$fill" --quiet "$point"; sync -f "$point"; }
device() { xfs_io -d -c "pwrite -q -S 0 -b 64m 0 ${mib}m" -c fsync "$raw_dev"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "images of $mib MiB, $rounds rounds, Dirty of ${dirty_cgroup:-the machine}; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
table=()
for type in "${types[@]}"; do
  bash "$fs" make "$image" "$mib" "$type"
  bash "$fs" mount "$image" "$point"
  losetup --direct-io=on "$(findmnt -no SOURCE --mountpoint "$point" | tail -n 1)"
  truncate -s "${mib}M" "$work/raw.img"
  raw_dev=$(losetup -f --show --direct-io=on "$work/raw.img")
  # The first fills make the host allocate both sparse images; they are not timed.
  dd_buffered; device
  window_start
  for m in "${methods[@]}"; do : >"$work/$m.t"; echo 0 >"$work/$m.d"; done
  for round in $(seq "$rounds"); do
    # Every other round in the opposite order, so that drifts of the virtual disk hit all alike.
    order=("${methods[@]}")
    [ $((round % 2)) = 0 ] && order=(window morvane_fill dd_direct dd_buffered device)
    line="$type round $round:"
    for m in "${order[@]}"; do
      [ "$m" = window ] && window_ask
      step=$m; [ "$m" = window ] && step=window_fill
      read -r t d < <(measured "$step")
      echo "$t" >>"$work/$m.t"; [ "$d" -gt "$(cat "$work/$m.d")" ] && echo "$d" >"$work/$m.d"
      line+=$(printf ' %s %.2f s (%d MiB)' "$m" "$t" "$d")
    done
    echo "$line"
  done
  kill "$window_pid"; wait "$window_pid" 2>/dev/null || true; window_pid=
  row="| $type"
  device_med=$(median <"$work/device.t")
  for m in "${methods[@]}"; do
    med=$(median <"$work/$m.t")
    row+=$(awk -v s="$med" -v d="$(cat "$work/$m.d")" -v r="$device_med" -v m="$m" \
      'BEGIN { printf " | %.2f s, %d MiB%s", s, d, m == "device" ? "" : sprintf(", %.2f×", s / r) }')
  done
  table+=("$row |")
  echo "$type medians: ${row#| $type | }"
  losetup -d "$raw_dev"; raw_dev=
  bash "$fs" umount "$point"; rm -f "$image" "$work/raw.img"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| $mib MiB, medians of $rounds rounds (Dirty peak, time / device) | device | dd bs=1M conv=fsync | dd bs=64M oflag=direct | morvane-fill | window |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${table[@]}"

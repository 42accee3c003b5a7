#!/usr/bin/env bash
# On-demand benchmark of Morvane.exe under Wine against dd, on one loop-mounted
# ext4 image:
#   1. dd if=/dev/zero bs=1M conv=fsync fills the volume until it is full (timed), then the file goes;
#   2. Morvane.exe, started on the same volume mapped to drive M:, runs from the
#      click on its start button until the button is enabled again (timed).
# Prints both times, their ratio (run / dd) and the peak of "Dirty" in /proc/meminfo during each.
# Needs root, loop devices and the Windows build.
#
#   bash bench/windows_zero_fill_vs_dd.sh [WINDOWS_BUILD_DIR] [IMAGE_GIB] [ROUNDS]
# WINDOWS_BUILD_DIR defaults to build/windows-build; IMAGE_GIB to 6, so that the
# run writes a full-size file and copies it; ROUNDS to 3 (dd and the run take
# turns, medians compared). MORVANE_BENCH_DISPLAY (default :96)
# is the private X display it starts. MORVANE_BENCH_SETTLE (default 10) is how
# many seconds each fill waits after the cache drop before it starts: a virtual
# machine that hands free memory back to its host (free page reporting) makes
# the first write into a page freed some seconds before slow, and a fill
# started at once would be timed on memory that no user's idle machine has.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows-build}
gib=${2:-6}
repeat=${3:-3}
display=${MORVANE_BENCH_DISPLAY:-:96}
settle=${MORVANE_BENCH_SETTLE:-10}
FS=$root/tests/fs/fs_image.sh
exe=$build/windows/Morvane.exe
driver=$build/tests/windows/Test_Driver.exe
[ -f "$exe" ] && [ -f "$driver" ] || { echo "build the Windows program and its tests first ($build)"; exit 1; }

work=$(mktemp -d /var/tmp/morvane-bench-win.XXXXXX)
image=$work/image; vol=$work/vol
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=$display
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wineserver -k 2>/dev/null
  sh "$root/tests/xvfb.sh" stop "$display"
  bash "$FS" sweep "$work" >/dev/null 2>&1
}
trap cleanup EXIT INT TERM

bash "$FS" check "$work" $((gib * 1024 + 256)) || exit 1
sh "$root/tests/xvfb.sh" start "$display" >/dev/null || exit 1
wineboot -i >/dev/null 2>&1; wineserver -w
drv() { wine "$driver" "$@" 2>/dev/null; }
. "$root/bench/dirty_peak.sh"
now() { date +%s.%N; }
# Before each fill: an empty page cache, then the free memory as an idle machine has it.
settle_memory() { sync; echo 3 >/proc/sys/vm/drop_caches; sleep "$settle"; }

bash "$FS" make "$image" $((gib * 1024)) ext4
# Root may write ext4's reserved blocks and the program (counting what the
# caller may use) does not: without them both fill the same space.
tune2fs -m 0 "$image" >/dev/null
bash "$FS" mount "$image" "$vol"
# Direct I/O on the backing file, as a disk does: otherwise the host's own
# page cache takes every write first, and its flushes land in whichever fill
# happens to be running.
losetup --direct-io=on "$(findmnt -no SOURCE --mountpoint "$vol" | tail -n 1)"
free=$(stat -f -c '%a %S' "$vol" | awk '{ printf "%.0f", $1 * $2 }')
echo "ext4 image of $gib GiB, $((free / 1048576)) MiB free"

# dd_fill: seconds dd takes to fill the volume and its Dirty peak; the file goes afterwards.
dd_fill() {
  settle_memory
  local t0 t1 peak
  dirty_watch_start
  t0=$(now)
  dd if=/dev/zero of="$vol/dd.bin" bs=1M conv=fsync status=none 2>/dev/null
  t1=$(now)
  peak=$(dirty_watch_stop)
  rm -f "$vol/dd.bin"; sync
  awk -v a="$t0" -v b="$t1" -v p="$peak" 'BEGIN { print b - a, p }'
}
# The first fill of a fresh image also allocates the image file's blocks on
# the host; it is not counted, so that every timed fill writes over the same blocks.
dd_fill >/dev/null

ln -sfn "$vol" "$WINEPREFIX/dosdevices/m:"
mkdir -p "$work/app"; cp "$exe" "$build/windows/"*.txt "$work/app/" 2>/dev/null
(cd "$vol" && exec wine "$work/app/Morvane.exe" >/dev/null 2>&1) &
pid=$!
main=$(drv wait "Morvane v.1.2" 30) || { echo "Morvane.exe did not start"; exit 1; }
drive=$(drv text "#$main" Drive_To_Zero)
[ "${drive:0:2}" = "m:" ] || [ "${drive:0:2}" = "M:" ] || { echo "drive M: not chosen ($drive)"; exit 1; }
# run_fill: seconds from the click on the start button to the end of the run, and its Dirty peak.
run_fill() {
  settle_memory
  local t0 t1 seen=0 n=0 peak
  dirty_watch_start
  t0=$(now)
  drv click-async "#$main" Command_Run
  # Watched from this side: every start of the driver is a Wine process that
  # would take processor time from the run it measures. The run has ended
  # when its scratch folder, once there, is gone; a report box keeps it there.
  while :; do
    if [ -d "$vol/Delete_Me_Tenderly0" ]; then seen=1
    elif [ $seen = 1 ]; then break; fi
    n=$((n + 1))
    if [ $((n % 250)) = 0 ] && drv wait Morvane 0 >/dev/null; then
      echo "report: $(drv text Morvane box)" >&2; drv press Morvane OK
    fi
    sleep 0.02
  done
  t1=$(now)
  peak=$(dirty_watch_stop)
  until [ "$(drv enabled "#$main" Command_Run)" = 1 ]; do sleep 0.2; done
  left=$(ls -d "$vol"/Delete_Me_Tenderly* 2>/dev/null | wc -l)
  [ "$left" = 0 ] || echo "scratch folders left: $left" >&2
  awk -v a="$t0" -v b="$t1" -v p="$peak" 'BEGIN { print b - a, p }'
}

# The disk is shared: dd and the run take turns, and the medians are compared.
dd_times=(); run_times=()
for ((i = 1; i <= repeat; i++)); do
  read -r t dp < <(dd_fill); dd_times+=("$t")
  read -r u rp < <(run_fill); run_times+=("$u")
  printf 'round %d: dd %.2f s (Dirty peak %d MiB), run %.2f s (Dirty peak %d MiB)\n' "$i" "$t" "$dp" "$u" "$rp"
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
dd_s=$(median "${dd_times[@]}")
run_s=$(median "${run_times[@]}")
drv close "#$main"; wait "$pid" 2>/dev/null; pid=""

printf 'dd (bs=1M, conv=fsync):  %6.2f s (median)\n' "$dd_s"
printf 'Morvane.exe under Wine: %6.2f s (median)\n' "$run_s"
printf 'ratio run / dd:          %6.2f\n' "$(awk -v r="$run_s" -v d="$dd_s" 'BEGIN { print r / d }')"

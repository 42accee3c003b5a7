#!/usr/bin/env bash
# A volume in use while it is zeroed: a "service" (an ordinary user appending 4 KiB and fdatasync
# every 20 ms to a file on the volume) runs while root zeroes the volume with `dd` + `rm`,
# `morvane-fill`, `morvane-fill --keep-free 64M` and `morvane-fill --rate RATE`, in alternating
# rounds on one loop-mounted image per file system (loop device with direct I/O). For each: the
# fill's seconds, the seconds the volume spent with less than 1 % available to ordinary users
# (statvfs every 10 ms), the service's failed writes and its longest run of failures (from the
# first failed write to the next one that succeeds).
#   bash bench/live_service_vs_dd.sh [build folder] [image MiB] ["ext4 xfs"] [rounds] [rate]
# Needs root and loop devices (exits 77 with the reason otherwise).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-3072}
types=${3:-ext4 xfs}
rounds=${4:-2}
rate=${5:-200M}
fill=$build/linux/fill/morvane-fill
fs=$root/tests/fs/fs_image.sh
work=${MORVANE_BENCH_DIR:-/var/tmp/morvane-live-bench}
image=$work/live.img
point="$work/точка монтирования"
# Seconds every fill starts after the previous one ended: the machine's memory settles alike for all.
settle=${MORVANE_BENCH_SETTLE:-3}

[ -x "$fill" ] || { echo "build first: $fill missing"; exit 2; }
bash "$fs" check "$work" $((mib + 256))
id nobody >/dev/null || { echo "SKIP: no user nobody for the service"; exit 77; }
trap 'bash "$fs" sweep "$work"' EXIT

# One fill with the service and the sampler around it; prints
# "fill_s low_s failed writes longest_s".
measure() {
  python3 - "$point" "$settle" "$@" <<'PY'
import os, subprocess, sys, threading, time
point, settle, command = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
log = os.path.join(point, "service.log")
service = r'''
import os, sys, time
fd = os.open(sys.argv[1], os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
block = b"s" * 4096
due = time.monotonic()
while True:
    t = time.monotonic()
    try:
        os.write(fd, block)
        os.fdatasync(fd)
        ok = 1
    except OSError:
        ok = 0
    print(f"{t:.4f} {ok}", flush=True)
    due = max(due + 0.02, time.monotonic())
    time.sleep(max(0.0, due - time.monotonic()))
'''
time.sleep(settle)
user = subprocess.Popen(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                         "python3", "-c", service, log], stdout=subprocess.PIPE, text=True)
low = [0.0]
stop = threading.Event()
def sample():
    last, was_low = time.monotonic(), False
    while not stop.is_set():
        sv = os.statvfs(point)
        now = time.monotonic()
        if was_low:
            low[0] += now - last
        last, was_low = now, sv.f_bavail < sv.f_blocks / 100
        time.sleep(0.01)
sampler = threading.Thread(target=sample)
time.sleep(0.5)
sampler.start()
t0 = time.monotonic()
subprocess.run(command, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
fill = time.monotonic() - t0
time.sleep(0.5)
stop.set()
sampler.join()
user.terminate()
out, _ = user.communicate()
writes = [(float(t), ok == "1") for t, ok in (line.split() for line in out.splitlines())]
failed = sum(1 for _, ok in writes if not ok)
longest, start = 0.0, None
for t, ok in writes:
    if not ok and start is None:
        start = t
    elif ok and start is not None:
        longest, start = max(longest, t - start), None
if start is not None:
    longest = max(longest, writes[-1][0] - start)
os.remove(log)
print(f"{fill:.2f} {low[0]:.2f} {failed} {len(writes)} {longest:.2f}")
PY
}
dd_script='dd if=/dev/zero of="$1/dd.fill" bs=1M conv=fsync status=none; rm -f "$1/dd.fill"; sync'
names=("dd + rm" "morvane-fill" "morvane-fill --keep-free 64M" "morvane-fill --rate $rate")
run_variant() {
  case $1 in
  0) measure sh -c "$dd_script" sh "$point" ;;
  1) measure sh -c '"$0" --quiet "$1"; sync' "$fill" "$point" ;;
  2) measure sh -c '"$0" --quiet --keep-free 64M "$1"; sync' "$fill" "$point" ;;
  3) measure sh -c '"$0" --quiet --rate "$2" "$1"; sync' "$fill" "$point" "$rate" ;;
  esac
}

results=$(mktemp)
for type in $types; do
  bash "$fs" make "$image" "$mib" "$type"
  bash "$fs" mount "$image" "$point"
  # Direct I/O on the backing file, as a disk does.
  losetup --direct-io=on "$(findmnt -no SOURCE --mountpoint "$point" | tail -n 1)"
  chmod 1777 "$point"
  echo "$type image of $mib MiB, $(df -B1 --output=avail "$point" | tail -1) bytes available to users; load: $(cut -d' ' -f1-3 /proc/loadavg)"
  # The first fill makes the host allocate the sparse image; it is not measured.
  sh -c "$dd_script" sh "$point" 2>/dev/null
  for round in $(seq "$rounds"); do
    order="0 1 2 3"; [ $((round % 2)) = 1 ] || order="3 2 1 0"
    for v in $order; do
      read -r f l n w r < <(run_variant "$v")
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$type" "$v" "$f" "$l" "$n" "$w" "$r" >>"$results"
      printf 'round %d  %-5s %-34s fill %6.2f s  <1 %% available %5.2f s  failed %3d of %3d writes  longest run %5.2f s\n' \
        "$round" "$type" "${names[$v]}" "$f" "$l" "$n" "$w" "$r"
    done
  done
  bash "$fs" umount "$point"
  rm -f "$image"
done

# Medians and ranges over the rounds, as a Markdown table.
range() {
  sort -g | awk '{ a[NR] = $1 } END { m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
    printf (a[1] == a[NR]) ? "%s" : "%s (%s–%s)", m, a[1], a[NR] }'
}
echo
echo "| $mib MiB, medians (ranges) of $rounds rounds | fill, s | s with < 1 % available | service's failed writes | longest run of failures, s |"
echo "|---|---|---|---|---|"
for type in $types; do
  for v in 0 1 2 3; do
    col() { awk -F'\t' -v t="$type" -v v="$v" -v c="$1" '$1 == t && $2 == v { print $c }' "$results" | range; }
    echo "| $type: \`${names[$v]}\` | $(col 3) | $(col 4) | $(col 5) of $(col 6) | $(col 7) |"
  done
done
rm -f "$results"

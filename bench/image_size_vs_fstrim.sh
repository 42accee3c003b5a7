#!/usr/bin/env bash
# What each way of zeroing the free space leaves for an image of the volume: one image with real
# files and deleted random data in every free block (the reserve pools too: emptied while the old
# data is written, then restored), copied once per method; each copy is zeroed on a loop device
# with direct I/O, then compressed with zstd -3 and measured against the copy that fstrim
# discarded whole (the ideal). Also the image file's allocated size, what --check reads in the free
# space afterwards, and the time of each method and of --check on its own (medians of the rounds,
# which run the methods in alternating order).
#   bash bench/image_size_vs_fstrim.sh [build folder] [image MiB] [ext4|xfs] [rounds]
# Needs root, loop devices and zstd (exits 77 with the reason otherwise).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-2048}
type=${3:-ext4}
rounds=${4:-1}
fill=$build/linux/fill/morvane-fill
fs=$root/tests/fs/fs_image.sh
work=${MORVANE_BENCH_DIR:-/var/tmp/morvane-bench-thin}
base=$work/base.img
copy=$work/copy.img
point="$work/точка монтирования"

[ -x "$fill" ] || { echo "build first: $fill missing"; exit 2; }
command -v zstd >/dev/null || { echo "SKIP: zstd missing (scripts/install-deps.sh)"; exit 77; }
bash "$fs" check "$work" $((mib * 2 + 256))
trap 'bash "$fs" sweep "$work"' EXIT

# Mounts an image on a loop device with direct I/O, as a disk is; prints the device.
attach() {
  bash "$fs" mount "$1" "$point"
  local dev
  dev=$(findmnt -no SOURCE --mountpoint "$point" | tail -n 1)
  losetup --direct-io=on "$dev"
  echo "$dev"
}

# The base image: files, then random data in every block the file system could hand out.
bash "$fs" make "$base" "$mib" "$type"
dev=$(attach "$base")
mkdir -p "$point/files"
cp -a /usr/include /usr/lib/python3 "$point/files/"
if [ "$type" = xfs ]; then
  resblks=$(xfs_io -x -c resblks "$point" | awk '/^reserved blocks/ { print $4 }')
  xfs_io -x -c 'resblks 0' "$point" >/dev/null
else
  clusters=/sys/fs/ext4/$(basename "$dev")/reserved_clusters
  resblks=$(cat "$clusters")
  echo 0 > "$clusters"
fi
dd if=/dev/urandom of="$point/old" bs=1M status=none 2>/dev/null || true
sync
rm "$point/old"
sync
if [ "$type" = xfs ]; then xfs_io -x -c "resblks $resblks" "$point" >/dev/null; else echo "$resblks" > "$clusters"; fi
bash "$fs" umount "$point"
echo "$type image of $mib MiB: $(du -sh /usr/include /usr/lib/python3 | awk '{ printf "%s%s ", s, $1; s = "+ " }')of files, random data deleted in every free block; load: $(cut -d' ' -f1-3 /proc/loadavg)"

methods=(fstrim nothing dd fill fill_trim fill_trim_check check)
declare -A label=([fstrim]="fstrim (the ideal)" [nothing]="nothing done" [dd]="dd if=/dev/zero bs=1M conv=fsync"
  [fill]="morvane-fill" [fill_trim]="morvane-fill --trim" [fill_trim_check]="morvane-fill --trim --check"
  [check]="morvane-fill --check (reads only)")
run_method() {
  case "$1" in
  fstrim) fstrim "$point" ;;
  nothing) ;;
  dd) dd if=/dev/zero of="$point/dd.fill" bs=1M conv=fsync status=none 2>/dev/null || true
      rm -f "$point/dd.fill"; sync ;;
  fill) "$fill" --quiet "$point" ;;
  fill_trim) "$fill" --quiet --trim "$point" ;;
  fill_trim_check) "$fill" --quiet --trim --check "$point" ;;
  check) "$fill" --quiet --check "$point" >/dev/null ;;
  esac
}
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

declare -A times size alloc left
for round in $(seq "$rounds"); do
  order=("${methods[@]}")
  [ $((round % 2)) = 1 ] || order=(fstrim $(printf '%s\n' "${methods[@]:1}" | tac))
  for m in "${order[@]}"; do
    cp --sparse=always "$base" "$copy"
    attach "$copy" >/dev/null
    sync
    t0=$(date +%s%N); run_method "$m"; t1=$(date +%s%N)
    times[$m]+="$(awk -v t=$((t1 - t0)) 'BEGIN { printf "%.3f", t / 1e9 }') "
    left[$m]=$("$fill" --quiet --check --json "$point" | sed -n 's/.*"blocks_not_zero":\([0-9]*\).*/\1/p')
    bash "$fs" umount "$point"
    alloc[$m]=$(du -B1 "$copy" | cut -f1)
    size[$m]=$(zstd -3 -q -c "$copy" | wc -c)
    rm -f "$copy"
  done
done

printf '| %s, %d MiB | zstd -3 of the image | × the ideal | allocated (du) | blocks not zero (--check after) | seconds |\n' "$type" "$mib"
printf '|---|---|---|---|---|---|\n'
for m in "${methods[@]}"; do
  t=$(printf '%s\n' ${times[$m]} | median)
  awk -v l="${label[$m]}" -v s="${size[$m]}" -v i="${size[fstrim]}" -v a="${alloc[$m]}" -v n="${left[$m]}" -v t="$t" \
    'BEGIN { printf "| %s | %.2f MiB | %.3f × | %.0f MiB | %d | %.2f |\n", l, s / 1048576, s / i, a / 1048576, n, t }'
done

#!/usr/bin/env bash
# What each way of zeroing the free space leaves for an image of the volume: one image with real
# files and deleted random data in every free block (the reserve pools too: emptied while the old
# data is written, then restored), copied once per method; each copy is zeroed on a loop device
# with direct I/O, then compressed with zstd -3 and measured against the copy that fstrim
# discarded whole (the ideal). Also the image file's allocated size, what --check reads in the free
# space afterwards, the bytes each method wrote to and read from the device (the loop device's own
# counts), and the time of each method and of --check on its own (medians of the rounds, which run
# the methods in alternating order). "fresh" leaves out the files and the old data; "--trim, no
# discard" runs on a device whose discard is switched off, as a disk without one.
#   bash bench/image_size_vs_fstrim.sh [build folder] [image MiB] [ext4|xfs|btrfs] [rounds] [used|fresh]
# Needs root, loop devices and zstd (exits 77 with the reason otherwise).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-2048}
type=${3:-ext4}
rounds=${4:-1}
state=${5:-used}
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
  losetup --direct-io=on "$dev" 2>/dev/null || true  # a ramfs file takes no direct I/O
  echo "$dev"
}

# The base image: files, then random data in every block the file system could hand out.
bash "$fs" make "$base" "$mib" "$type"
dev=$(attach "$base")
if [ "$state" = used ]; then
mkdir -p "$point/files"
cp -a /usr/include /usr/lib/python3 "$point/files/"
if [ "$type" = xfs ]; then
  resblks=$(xfs_io -x -c resblks "$point" | awk '/^reserved blocks/ { print $4 }')
  xfs_io -x -c 'resblks 0' "$point" >/dev/null
elif [ "$type" = ext4 ]; then
  clusters=/sys/fs/ext4/$(basename "$dev")/reserved_clusters
  resblks=$(cat "$clusters")
  echo 0 > "$clusters"
fi
dd if=/dev/urandom of="$point/old" bs=1M status=none 2>/dev/null || true
sync
rm "$point/old"
sync
if [ "$type" = xfs ]; then xfs_io -x -c "resblks $resblks" "$point" >/dev/null; elif [ "$type" = ext4 ]; then echo "$resblks" > "$clusters"; fi
fi
bash "$fs" umount "$point"
[ "$state" = used ] && contents="$(du -sh /usr/include /usr/lib/python3 | awk '{ printf "%s%s ", s, $1; s = "+ " }')of files, random data deleted in every free block" || contents="fresh from mkfs"
echo "$type image of $mib MiB, $contents; load: $(cut -d' ' -f1-3 /proc/loadavg)"

methods=(fstrim nothing dd fill fill_trim fill_trim_check trim_no_discard check)
declare -A label=([fstrim]="fstrim (the ideal)" [nothing]="nothing done" [dd]="dd if=/dev/zero bs=1M conv=fsync"
  [fill]="morvane-fill" [fill_trim]="morvane-fill --trim" [fill_trim_check]="morvane-fill --trim --check"
  [trim_no_discard]="morvane-fill --trim, no discard"
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
  trim_no_discard) "$fill" --quiet --trim "$point" 2>/dev/null ;;
  check) "$fill" --quiet --check "$point" >/dev/null 2>&1 || true ;;  # btrfs: cannot be made
  esac
}
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

# Bytes read and written on the loop device so far (sectors of 512 bytes, /sys/block/*/stat).
io() { awk '{ printf "%.0f %.0f\n", $3 * 512, $7 * 512 }' "/sys/block/$(basename "$1")/stat"; }
declare -A times size alloc left read written
for round in $(seq "$rounds"); do
  order=("${methods[@]}")
  [ $((round % 2)) = 1 ] || order=(fstrim $(printf '%s\n' "${methods[@]:1}" | tac))
  for m in "${order[@]}"; do
    # Without discard: the copy in a ramfs, whose files take no hole punching. (A loop device's
    # discard_max_bytes set to 0 stays 0 for every later user of that device.)
    copy=$work/copy.img
    [ "$m" != trim_no_discard ] || { mkdir -p "$work/ram" && mount -t ramfs ram "$work/ram" && copy=$work/ram/copy.img; }
    cp --sparse=always "$base" "$copy"
    dev=$(attach "$copy")
    sync
    io0=$(io "$dev")
    t0=$(date +%s%N); run_method "$m"; t1=$(date +%s%N)
    sync
    io1=$(io "$dev")
    read[$m]=$(( ${io1% *} - ${io0% *} )) written[$m]=$(( ${io1#* } - ${io0#* } ))
    times[$m]+="$(awk -v t=$((t1 - t0)) 'BEGIN { printf "%.3f", t / 1e9 }') "
    left[$m]=$("$fill" --quiet --check --json "$point" 2>/dev/null | sed -n 's/.*"blocks_not_zero":\([0-9]*\).*/\1/p' || true)
    bash "$fs" umount "$point"
    alloc[$m]=$(du -B1 "$copy" | cut -f1)
    size[$m]=$(zstd -3 -q -c "$copy" | wc -c)
    rm -f "$copy"
    [ "$m" != trim_no_discard ] || umount "$work/ram"
  done
done

printf '| %s, %d MiB, %s | zstd -3 of the image | × the ideal | allocated (du) | blocks not zero (--check after) | written | read | seconds |\n' "$type" "$mib" "$state"
printf '|---|---|---|---|---|---|---|---|\n'
for m in "${methods[@]}"; do
  t=$(printf '%s\n' ${times[$m]} | median)
  awk -v l="${label[$m]}" -v s="${size[$m]}" -v i="${size[fstrim]}" -v a="${alloc[$m]}" -v n="${left[$m]:-n/a}" -v t="$t" \
    -v w="${written[$m]}" -v r="${read[$m]}" \
    'BEGIN { printf "| %s | %.2f MiB | %.3f × | %.0f MiB | %s | %.1f MiB | %.1f MiB | %.2f |\n", l, s / 1048576, s / i, a / 1048576, n, w / 1048576, r / 1048576, t }'
done

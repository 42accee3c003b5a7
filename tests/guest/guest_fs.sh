#!/usr/bin/env bash
# morvane-fill on the file systems this machine's kernel lacks, in one boot of the Debian guest. Each
# row is one file system made twice alike, its free space marked with 0xFF; morvane-fill zeroes one,
# `dd if=/dev/zero bs=1M conv=fsync` the other, and the marked 4 KiB blocks left on each are counted.
# A row passes when morvane-fill ends 0, leaves no Delete_Zero, leaves no more marked blocks than dd
# plus 16, and says the zeros reached the disk encrypted on LUKS and nowhere else. Plain file systems
# are made on the host in an image all 0xFF (so every free block is marked) and copied; device-mapper
# ones (LVM thin, LUKS) need the guest's kernel, which makes and marks them. Images are counted on the
# host, except an encrypted one, which only the guest can read.
#
#   guest_fs.sh MORVANE-FILL WORK               on the host: images, one boot, the table
#   guest_fs.sh --inside MORVANE-FILL ROW...    in the guest: ROW is fs:MiB, two disks each, in order
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
rows=(vfat:48 exfat:48 ntfs:32 f2fs:64 lvmthin:48 luks:48)
pattern() { python3 "$here/../fs/fs_pattern.py" "$@"; }

if [ "${1:-}" != --inside ]; then
  fill=$1; work=$2
  bash "$here/guest.sh" check
  rm -rf "$work"; mkdir -p "$work"
  disks=()
  for row in "${rows[@]}"; do
    image=$work/${row%:*}
    case "${row%:*}" in
    vfat|exfat|ntfs|f2fs)
      head -c "${row#*:}M" /dev/zero | tr '\0' '\377' >"$image-fill.img"
      case "${row%:*}" in
      vfat)  mkfs.vfat -F 32 "$image-fill.img" >/dev/null ;;
      exfat) mkfs.exfat "$image-fill.img" >/dev/null ;;
      ntfs)  mkntfs -Q -F "$image-fill.img" >/dev/null 2>&1 ;;
      f2fs)  mkfs.f2fs -q -f -t 0 "$image-fill.img" ;;
      esac
      cp "$image-fill.img" "$image-dd.img" ;;
    *) truncate -s "${row#*:}M" "$image-fill.img" "$image-dd.img" ;;
    esac
    disks+=("$image-fill.img" "$image-dd.img")
  done
  # The host's /tmp, where a clone may lie, is hidden in the guest but for the work folder.
  cp "$0" "$here/../fs/fs_pattern.py" "$work/" && cp "$fill" "$work/morvane-fill"
  echo "exec bash guest_fs.sh --inside ./morvane-fill ${rows[*]}" >"$work/commands"
  bash "$here/guest.sh" run "$work" "$work/commands" "${disks[@]}" >"$work/rows" && status=0 || status=$?
  [ "$status" -eq 77 ] && { cat "$work/rows"; exit 77; }
  [ "$status" -eq 0 ] || { echo "guest: ended $status"; cat "$work/rows"; exit 1; }
  failed=0
  printf '%-8s %6s %8s %8s %7s %7s\n' fs status residue dd_resid fill_s dd_s
  [ "$(grep -c '^row ' "$work/rows")" -eq ${#rows[@]} ] || { echo "guest: rows missing"; cat "$work/rows"; exit 1; }
  while read -r _ fs fill_status left fill_ms dd_ms residue dd_residue; do
    [ "$residue" = - ] && residue=$(pattern count "$work/$fs-fill.img") dd_residue=$(pattern count "$work/$fs-dd.img")
    printf '%-8s %6s %8s %8s %7s %7s\n' "$fs" "$fill_status" "$residue" "$dd_residue" \
      "$((fill_ms / 1000)).$((fill_ms % 1000 / 100))" "$((dd_ms / 1000)).$((dd_ms % 1000 / 100))"
    # The line about encryption comes on LUKS alone.
    said=$(grep -c 'reached the disk encrypted' "$work/$fs.log" || true)
    if [ "$fill_status" -ne 0 ] || [ "$left" != none ] || [ "$residue" -gt $((dd_residue + 16)) ] ||
       [ "$said" -ne "$([ "$fs" = luks ] && echo 1 || echo 0)" ]; then
      echo "  FAILED: Delete_Zero left: $left, encryption said $said times; morvane-fill said:"
      sed 's/^/    /' "$work/$fs.log"
      failed=1
    fi
  done < <(grep '^row ' "$work/rows")
  [ "$failed" -eq 1 ] || rm -f "$work"/*.img
  exit "$failed"
fi

fill=$2; shift 2
pattern() { python3 "$MORVANE_WORK/fs_pattern.py" "$@"; }
# LVM on the read-only /etc, with no udev in the guest.
export LVM_SYSTEM_DIR=/run/lvm-etc
mkdir -p "$LVM_SYSTEM_DIR" && cp -r /etc/lvm/. "$LVM_SYSTEM_DIR"
echo 'activation { udev_sync = 0 udev_rules = 0 } devices { obtain_device_list_from_udev = 0 }
backup { backup = 0 archive = 0 }' >"$LVM_SYSTEM_DIR/lvmlocal.conf"
modprobe fuse

# Makes the ext4 of the device-mapper row fs on disk, marked and mounted at point; prints its device.
make_mapped() {
  local fs=$1 disk=$2 point=$3 name dev
  name=$(basename "$point")
  case "$fs" in
  lvmthin)
    lvm vgcreate -q --devices "$disk" "$name" "$disk" >/dev/null 2>&1
    lvm lvcreate -q --devices "$disk" -T "$name/pool" -L 28M -V 24M -n thin >/dev/null 2>&1
    dev=/dev/mapper/$name-thin ;;
  luks)
    printf morvane >/run/luks-key
    cryptsetup luksFormat -q --type luks2 --pbkdf pbkdf2 --pbkdf-force-iterations 1000 "$disk" /run/luks-key
    cryptsetup open --key-file /run/luks-key "$disk" "$name"
    dev=/dev/mapper/$name ;;
  esac
  mkfs.ext4 -q -E nodiscard,lazy_itable_init=0,lazy_journal_init=0 "$dev"
  mkdir -p "$point" && mount "$dev" "$point"
  # ext4 hides a count of free blocks, not a place: opened on the test volumes only.
  echo 0 >"/sys/fs/ext4/$(basename "$(readlink -f "$dev")")/reserved_clusters"
  pattern fill "$point" >/dev/null
  echo "$dev"
}

milliseconds() { local t0=${EPOCHREALTIME/./}; "$@" && status=0 || status=$?; elapsed=$(((${EPOCHREALTIME/./} - t0) / 1000)); }
zero_by_dd() { dd if=/dev/zero of="$1/zero" bs=1M conv=fsync 2>/dev/null; rm -f "$1/zero"; sync; }

disks=(/dev/vd{a..z})
for row in "$@"; do
  fs=${row%:*} fill_disk=${disks[0]} dd_disk=${disks[1]}
  disks=("${disks[@]:2}")
  fill_dev=$fill_disk dd_dev=$dd_disk
  mkdir -p "/mnt/${fs}_fill" "/mnt/${fs}_dd"
  case "$fs" in
  lvmthin|luks)
    fill_dev=$(make_mapped "$fs" "$fill_disk" "/mnt/${fs}_fill")
    dd_dev=$(make_mapped "$fs" "$dd_disk" "/mnt/${fs}_dd") ;;
  ntfs) ntfs-3g "$fill_disk" "/mnt/${fs}_fill"; ntfs-3g "$dd_disk" "/mnt/${fs}_dd" ;;
  *) mount "$fill_disk" "/mnt/${fs}_fill"; mount "$dd_disk" "/mnt/${fs}_dd" ;;
  esac
  milliseconds "$fill" "/mnt/${fs}_fill" >"$MORVANE_WORK/$fs.log" 2>&1
  fill_status=$status fill_ms=$elapsed
  milliseconds zero_by_dd "/mnt/${fs}_dd"
  dd_ms=$elapsed
  left=$(ls -d "/mnt/${fs}_fill/Delete_Zero" 2>/dev/null || echo none)
  umount "/mnt/${fs}_fill" "/mnt/${fs}_dd"
  residue=- dd_residue=-
  [ "$fs" = luks ] && residue=$(pattern count "$fill_dev") dd_residue=$(pattern count "$dd_dev")
  echo "row $fs $fill_status $left $fill_ms $dd_ms $residue $dd_residue"
done

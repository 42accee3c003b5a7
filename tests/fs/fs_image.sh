#!/usr/bin/env bash
# Real file systems for the zero-fill tests: image files loop-mounted as ext4, xfs, btrfs, or a tmpfs.
# Every command is one step, so tests in any language (and the Windows tests, which map the mount
# point to a Wine drive letter) can drive it. Exit code 77 means "cannot run here", with the reason
# on stdout; tests hand it to CTest as SKIP_RETURN_CODE.
#
#   fs_image.sh check <folder> <MiB>             root, loop devices and <MiB> free in <folder>?
#   fs_image.sh make <image> <MiB> <type>        new image: ext4 | xfs (reflink, the mkfs default) | btrfs | ntfs (ntfs-3g, FUSE)
#                                                | ext4-encrypt (fscrypt allowed)
#   fs_image.sh mount <image> <mount point> [options]   e.g. options compress=zstd
#   fs_image.sh tmpfs <mount point> <MiB>
#   fs_image.sh pattern <mount point>            fill the free space with 0xFF, delete it, sync
#   fs_image.sh umount <mount point>             unmount (loop device freed) and remove the mount point
#   fs_image.sh count <image>                    4 KiB blocks of the (unmounted) image still holding 0xFF
#   fs_image.sh sweep <folder>                   unmount everything below <folder>, delete it
#
# Mount points may contain blanks and Cyrillic letters; every path is passed as one argument.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }

cmd=${1:-}; shift || true
case "$cmd" in
check)
  folder=$1; need=$2
  [ "$(id -u)" -eq 0 ] || skip "needs root (mount, losetup)"
  [ -e /dev/loop-control ] || skip "no loop devices (/dev/loop-control missing)"
  command -v losetup >/dev/null && losetup -f >/dev/null 2>&1 || skip "no free loop device"
  mkdir -p "$folder"
  have=$(( $(stat -f -c '%a * %S' "$folder") / 1048576 ))
  [ "$have" -ge "$need" ] || skip "needs $need MiB free in $folder, has $have MiB"
  ;;
make)
  image=$1; mib=$2; type=$3
  mkdir -p "$(dirname "$image")"
  rm -f "$image"
  truncate -s "${mib}M" "$image"
  case "$type" in
  ext4)  mkfs.ext4 -q -F "$image" ;;
  xfs)   mkfs.xfs -q -f "$image" ;;
  btrfs) mkfs.btrfs -q -f "$image" >/dev/null ;;
  ext4-encrypt) mkfs.ext4 -q -F -O encrypt "$image" ;;
  ntfs)  mkfs.ntfs -q -F -f "$image" >/dev/null 2>&1 ;;
  *) echo "unknown file system type: $type" >&2; exit 2 ;;
  esac ;;
mount)
  image=$1; point=$2; options=${3:-}
  mkdir -p "$point"
  mount -o "loop${options:+,$options}" "$image" "$point" ;;
tmpfs)
  point=$1; mib=$2
  mkdir -p "$point"
  mount -t tmpfs -o "size=${mib}m" morvane-test "$point" ;;
pattern)
  # ext4 hides a count of free blocks from every writer (reserved_clusters), not a place, so which
  # marked blocks it hides differs from run to run: opened on the test volume, for its marks and fills.
  pool=/sys/fs/ext4/$(basename "$(findmnt -n -o SOURCE --target "$1")")/reserved_clusters
  if [ -w "$pool" ]; then echo 0 >"$pool"; fi
  python3 "$here/fs_pattern.py" fill "$1" >/dev/null ;;
umount)
  point=$1
  if mountpoint -q "$point"; then
    sync
    for i in 1 2 3 4 5 6 7 8 9 10; do
      umount "$point" 2>/dev/null && break
      sleep 0.3
    done
    mountpoint -q "$point" && umount -l "$point"
  fi
  rmdir "$point" 2>/dev/null || true ;;
count)
  python3 "$here/fs_pattern.py" count "$1" ;;
sweep)
  folder=$1
  [ -d "$folder" ] || exit 0
  # Deepest first, so nested mounts go before their parents.
  findmnt -rn -o TARGET | awk -v f="$folder" 'index($0, f) == 1' | sort -r | while read -r t; do
    t=$(printf '%b' "$t")  # findmnt escapes blanks as \x20
    umount "$t" 2>/dev/null || umount -l "$t" || true
  done
  losetup -nl -O NAME,BACK-FILE | awk -v f="$folder" 'index($2, f) == 1 { print $1 }' |
    while read -r dev; do losetup -d "$dev" || true; done
  rm -rf -- "$folder" ;;
*)
  sed -n '2,15p' "$0"; exit 2 ;;
esac

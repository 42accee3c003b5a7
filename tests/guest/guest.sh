#!/usr/bin/env bash
# A Debian 12 guest under qemu for the file systems this machine's kernel lacks (vfat, exfat, f2fs,
# device-mapper). It boots Debian's own kernel (linux-image-amd64) with a small initramfs of static
# busybox and the virtio, 9p and virtio-blk modules, mounts this machine's root read-only over 9p and
# chroots into it, so every host program (the built morvane-fill, python3, mkfs.*, lvm, cryptsetup)
# runs inside as it is, at the same path. WORK (no blanks) is shared writable at its own path; the guest runs
# COMMANDS (a sh script, started in WORK, which is also $MORVANE_WORK) and its output and exit status
# come back as this script's.
# Each DISK is an image attached as virtio-blk with discard=unmap, /dev/vda, /dev/vdb... in the order
# given, written FILE[,drive option...], e.g. disk.qcow2,format=qcow2,detect-zeroes=unmap (raw when no
# format is given; no commas in FILE). The host's /tmp is hidden inside (the guest has a tmpfs of its
# own there) but for WORK: a program from below /tmp must be copied into WORK to run inside. Software
# emulation (TCG): /dev/kvm here refuses a stock kernel. Exit code 77 means "cannot run here", with
# the reason on stdout.
#
#   guest.sh check                              packages and a kernel present?
#   guest.sh run WORK COMMANDS [DISK...]        boot, run COMMANDS, power off; COMMANDS' status
#
# Environment: GUEST_TIMEOUT (seconds, default 600), GUEST_MEMORY (MiB, default 1024), GUEST_CACHE
# (kernel and initramfs, made once per kernel and rig; default /var/tmp/morvane-guest, free to delete).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }

kernel_version() {
  local v
  for v in $(ls -1 /boot 2>/dev/null | sed -n 's/^vmlinuz-//p' | sort -V -r); do
    [ -d "/lib/modules/$v/kernel" ] && { echo "$v"; return; }
  done
}

check() {
  [ "$(id -u)" -eq 0 ] || skip "needs root (the guest's kernel modules and the shared root)"
  command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64 (package qemu-system-x86)"
  [ -f /usr/share/qemu/qboot.rom ] || skip "no /usr/share/qemu/qboot.rom (package qemu-system-data)"
  [ -x /bin/busybox ] && file_is_static /bin/busybox || skip "no static /bin/busybox (package busybox-static)"
  [ -n "$(kernel_version)" ] || skip "no kernel with modules in /boot (package linux-image-amd64)"
  command -v xz >/dev/null && command -v cpio >/dev/null || skip "no xz or cpio"
}

file_is_static() { ! ldd "$1" >/dev/null 2>&1; }

# The uncompressed kernel (its PVH entry boots in about 4 s under qboot, against 9 s through
# SeaBIOS and the decompressor) and the initramfs, made once per kernel and rig.
prepare() {
  local version=$1 cache=$2 tmp offset m
  [ -f "$cache/vmlinux" ] && [ -f "$cache/initramfs.cpio" ] && return
  mkdir -p "$(dirname "$cache")"
  tmp=$(mktemp -d "$cache.XXXXXX")
  offset=$(LC_ALL=C grep -m1 -obUaP '\xfd7zXZ\x00' "/boot/vmlinuz-$version" | cut -d: -f1)
  xz -dc --single-stream <(tail -c +$((offset + 1)) "/boot/vmlinuz-$version") >"$tmp/vmlinux"
  mkdir -p "$tmp/root/bin" "$tmp/root/sbin" "$tmp/root/modules" "$tmp/root/proc" "$tmp/root/sys" \
    "$tmp/root/dev" "$tmp/root/newroot"
  cp /bin/busybox "$tmp/root/bin/busybox"
  cp "$here/guest_init.sh" "$tmp/root/init"
  # Modules the kernel asks for later (dm-crypt, f2fs, fuse...) come from the shared root.
  printf '#!/bin/busybox sh\nexec /bin/busybox chroot /newroot /sbin/modprobe "$@"\n' >"$tmp/root/sbin/modprobe"
  chmod 755 "$tmp/root/init" "$tmp/root/sbin/modprobe"
  for m in virtio_pci virtio_blk 9pnet_virtio 9p; do
    modprobe -S "$version" --show-depends "$m" | awk '$1 == "insmod" { print $2 }'
  done | awk '!seen[$0]++' | while read -r m; do
    cp "$m" "$tmp/root/modules/"
    basename "$m" >>"$tmp/root/modules/order"
  done
  (cd "$tmp/root" && find . | cpio -o -H newc --quiet) >"$tmp/initramfs.cpio"
  rm -rf "$tmp/root"
  mv -T "$tmp" "$cache" 2>/dev/null || rm -rf "$tmp"  # another run made it first
}

run() {
  local work commands version cache pidfile drives=() spec status
  work=$(realpath "$1"); commands=$2; shift 2
  case "$work" in *[[:space:]]*) echo "WORK must have no blanks: $work" >&2; exit 2 ;; esac
  check
  version=$(kernel_version)
  # A changed rig makes its own initramfs.
  cache=${GUEST_CACHE:-/var/tmp/morvane-guest}/$version-$(cat "$0" "$here/guest_init.sh" | cksum | cut -d' ' -f1)
  prepare "$version" "$cache"
  cp "$commands" "$work/guest.cmd"
  rm -f "$work/guest.out" "$work/guest.status" "$work/guest.console" "$work/guest.started"
  for spec in "$@"; do
    case "$spec" in *format=*) ;; *) spec="$spec,format=raw" ;; esac
    drives+=(-drive "file=$spec,if=virtio,discard=unmap")
  done
  pidfile="$work/guest.pid"
  rm -f "$pidfile"
  # The plain qemu64 processor: with -cpu max the guest suite took 136 s against 96-112 s here.
  qemu-system-x86_64 -M pc -cpu qemu64 -smp 1 -m "${GUEST_MEMORY:-1024}" \
    -bios /usr/share/qemu/qboot.rom -kernel "$cache/vmlinux" -initrd "$cache/initramfs.cpio" \
    -append "console=ttyS0 quiet panic=-1 MORVANE_WORK=$work" \
    -display none -serial "file:$work/guest.console" -monitor none -no-reboot -nodefaults \
    -pidfile "$pidfile" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$work,mount_tag=work,security_model=none,multidevs=remap" \
    "${drives[@]}" 2>"$work/guest.qemu" &
  qemu=$!
  # qemu's own pid file, never its name: other guests may be running on this machine.
  (
    trap 'kill "$sleeper"; exit 0' TERM
    sleep "${GUEST_TIMEOUT:-600}" & sleeper=$!
    wait "$sleeper"
    echo "guest: no power-off after ${GUEST_TIMEOUT:-600} s; stopped" >&2
    kill "$(cat "$pidfile")"
  ) 2>/dev/null &
  watchdog=$!
  # Stopped, this script takes its guest along (qemu, still its child, has its pid yet).
  trap '{ kill "$watchdog"; kill -0 "$qemu" && kill "$(cat "$pidfile")"; } 2>/dev/null' EXIT
  trap 'exit 143' TERM INT
  wait "$qemu" && status=0 || status=$?
  [ -f "$work/guest.out" ] && cat "$work/guest.out"
  if [ ! -f "$work/guest.started" ]; then
    [ "$status" -ne 0 ] && [ -s "$work/guest.qemu" ] && skip "qemu cannot start: $(head -n1 "$work/guest.qemu")"
    echo "guest: the commands never started; console:" >&2
    tail -n 30 "$work/guest.console" >&2
    exit 1
  fi
  [ -f "$work/guest.status" ] || { echo "guest: no status came back; console:" >&2; tail -n 30 "$work/guest.console" >&2; exit 1; }
  exit "$(cat "$work/guest.status")"
}

cmd=${1:-}; shift || true
case "$cmd" in
check) check ;;
run) [ $# -ge 2 ] || { sed -n '16,17p' "$0"; exit 2; }; run "$@" ;;
*) sed -n '2,20p' "$0"; exit 2 ;;
esac

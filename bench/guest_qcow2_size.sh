#!/usr/bin/env bash
# What a guest's thin disk takes on the host after each way of freeing its free space: one qcow2 of an
# ext4 with old data deleted (written on the host, then converted, so the deleted data holds
# clusters), copied once per method and attached to the Debian guest of tests/guest with
# discard=unmap, without and with detect-zeroes=unmap. In the guest each copy gets morvane-fill,
# morvane-fill --trim, morvane-fill --trim --check or fstrim; the host then reads each qcow2's
# allocated size (qemu-img info's "disk size"), side by side with the guest's time for the method.
#   bash bench/guest_qcow2_size.sh [build folder] [image MiB] [deleted MiB]
# Needs root, loop devices and the guest's packages (exits 77 with the reason otherwise).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-512}
deleted=${3:-300}
fs=$root/tests/fs/fs_image.sh
work=${MORVANE_BENCH_DIR:-/var/tmp/morvane-bench-qcow2}
methods=(fill trim trimcheck fstrim)

[ -x "$build/linux/fill/morvane-fill" ] || { echo "build first: $build/linux/fill/morvane-fill missing"; exit 2; }
bash "$root/tests/guest/guest.sh" check
bash "$fs" check "$work" $((mib * 8))
trap 'bash "$fs" sweep "$work/mnt"' EXIT
rm -rf "$work"; mkdir -p "$work"

bash "$fs" make "$work/base.img" "$mib" ext4
bash "$fs" mount "$work/base.img" "$work/mnt"
mkdir "$work/mnt/kept" && head -c 20M /dev/urandom >"$work/mnt/kept/data"
for i in $(seq 1 $((deleted / 20))); do head -c 20M /dev/urandom >"$work/mnt/old-$i"; done
sync; rm -f "$work/mnt"/old-*
bash "$fs" umount "$work/mnt"
qemu-img convert -O qcow2 "$work/base.img" "$work/base.qcow2"

disks=() names=()
for zeroes in off unmap; do
  for method in "${methods[@]}"; do
    cp "$work/base.qcow2" "$work/$method-$zeroes.qcow2"
    disks+=("$work/$method-$zeroes.qcow2,format=qcow2,detect-zeroes=$zeroes")
    names+=("$method-$zeroes")
  done
done
cp "$build/linux/fill/morvane-fill" "$work/"
cat >"$work/methods.sh" <<'EOF'
set -e
disks=(/dev/vd{a..z})
for name in "$@"; do
  mkdir -p "/mnt/$name" && mount "${disks[0]}" "/mnt/$name"
  disks=("${disks[@]:1}")
  t0=${EPOCHREALTIME/./}
  case "$name" in
  fill-*) ./morvane-fill --quiet "/mnt/$name" ;;
  trim-*) ./morvane-fill --quiet --trim "/mnt/$name" ;;
  trimcheck-*) ./morvane-fill --quiet --trim --check "/mnt/$name" ;;
  fstrim-*) fstrim "/mnt/$name" ;;
  esac
  echo "$name $(((${EPOCHREALTIME/./} - t0) / 1000))"
  umount "/mnt/$name"
done
EOF
echo "exec bash ./methods.sh ${names[*]}" >"$work/commands"
bash "$root/tests/guest/guest.sh" run "$work" "$work/commands" "${disks[@]}" >"$work/times"

size() { qemu-img info --output=json "$1" | python3 -c 'import json, sys; print(json.load(sys.stdin)["actual-size"] // 1048576)'; }
echo "ext4 of $mib MiB, $deleted MiB deleted; qcow2 before: $(size "$work/base.qcow2") MiB"
printf '%-16s %14s %14s %10s\n' method detect-zeroes "disk size MiB" "guest s"
for name in "${names[@]}"; do
  ms=$(awk -v n="$name" '$1 == n { print $2 }' "$work/times")
  printf '%-16s %14s %14s %10s\n' "${name%-*}" "${name##*-}" "$(size "$work/$name.qcow2")" \
    "$((ms / 1000)).$((ms % 1000 / 100))"
done

#!/usr/bin/env bash
# trim_guest.sh <morvane-fill> <folder>: --trim where thin disks live, in the guest: ext4 on an LVM
# thin volume of 2 GiB on a pool of 900 MiB stays writable after a fill and after --trim, the fill
# saying that it left the pool's room; and a 512 MiB ext4 with 300 MiB of old data, as two identical
# qcow2 disks without detect-zeroes: the one --trim ran on is at most 1.01× the one fstrim ran on.
set -euo pipefail
program=$(realpath "$1") folder=$2 here=$(dirname "$(realpath "$0")")
bash "$here/guest.sh" check || exit $?
command -v lvm >/dev/null && command -v qemu-img >/dev/null || { echo "SKIP: no lvm2 or qemu-utils"; exit 77; }
bash "$here/../fs/fs_image.sh" check "$folder" 3072 || exit $?
trap 'bash "$here/../fs/fs_image.sh" sweep "$folder"' EXIT
# The host's /tmp, where a clone may lie, is hidden in the guest but for the work folder.
cp "$program" "$folder/morvane-fill" && program=$folder/morvane-fill
truncate -s 1G "$folder/pv.img"
bash "$here/../fs/fs_image.sh" make "$folder/used.img" 512 ext4
bash "$here/../fs/fs_image.sh" mount "$folder/used.img" "$folder/used"
dd if=/dev/urandom of="$folder/used/old" bs=1M count=300 status=none && rm "$folder/used/old"
bash "$here/../fs/fs_image.sh" umount "$folder/used"
for d in trim fstrim; do qemu-img convert -O qcow2 "$folder/used.img" "$folder/$d.qcow2"; done
cat >"$folder/commands" <<GUEST
set -e
lvm() { command lvm "\$@" --config 'activation { udev_sync = 0 udev_rules = 0 } devices { obtain_device_list_from_udev = 0 } backup { backup = 0 archive = 0 }'; }
lvm pvcreate -q /dev/vda && lvm vgcreate -q vg /dev/vda && lvm lvcreate -q -L 900M -T vg/pool
lvm lvcreate -q -V 2G -T vg/pool -n thin 2>/dev/null
mkfs.ext4 -q /dev/vg/thin && mkdir -p /mnt/thin /mnt/trim /mnt/fstrim && mount /dev/vg/thin /mnt/thin
for run in fill trim; do
  "$program" --quiet --json \$([ \$run = trim ] && echo --trim) /mnt/thin >thin.\$run 2>&1 || echo "status \$?" >>thin.\$run
  dd if=/dev/urandom of=/mnt/thin/after.\$run bs=1M count=8 conv=fsync status=none && echo writable >>thin.\$run
done
lvm lvs --noheadings -o data_percent vg/pool >pool.used
umount /mnt/thin
mount /dev/vdb /mnt/trim && mount /dev/vdc /mnt/fstrim
"$program" --quiet --json --trim /mnt/trim >qcow2.trim 2>&1 || true
fstrim /mnt/fstrim
umount /mnt/trim /mnt/fstrim
GUEST
GUEST_MEMORY=768 bash "$here/guest.sh" run "$folder" "$folder/commands" "$folder/pv.img" \
  "$folder/trim.qcow2,format=qcow2" "$folder/fstrim.qcow2,format=qcow2"
cat "$folder"/thin.* "$folder/pool.used" "$folder/qcow2.trim"
size() { qemu-img info --output=json "$1" | python3 -c 'import json, sys; print(json.load(sys.stdin)["actual-size"])'; }
trim=$(size "$folder/trim.qcow2") fstrim=$(size "$folder/fstrim.qcow2")
echo "qcow2: --trim $trim bytes, fstrim $fstrim bytes"
grep -q 'thin pool .* written, the tenth of the pool left' "$folder/thin.fill" && grep -q '"ending":"done"' "$folder/thin.fill" &&
  grep -q '"ending":"done"' "$folder/thin.trim" && [ "$(cat "$folder"/thin.* | grep -c writable)" = 2 ] &&
  [ "$trim" -le $((fstrim * 101 / 100)) ] && echo PASS

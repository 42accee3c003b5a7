#!/bin/busybox sh
# The guest's first process (guest.sh puts it in the initramfs as /init): the host's root read-only over
# 9p, fresh kernel file systems and tmpfs folders over it, the work folder writable at its own path,
# then guest.cmd run in a chroot; its output and status land in the work folder before power-off.
/bin/busybox --install -s /bin
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
while read -r m; do insmod "/modules/$m"; done </modules/order
echo /sbin/modprobe >/proc/sys/kernel/modprobe
options=trans=virtio,version=9p2000.L,msize=512000
if mount -t 9p -o "$options,ro" hostroot /newroot; then
  cd /newroot
  mount -t proc proc proc
  mount -t sysfs sysfs sys
  mount -t devtmpfs devtmpfs dev
  for d in tmp run mnt; do mount -t tmpfs tmpfs "$d"; done
  mkdir -p run/lock
  mkdir -p "/newroot$MORVANE_WORK" 2>/dev/null
  mount -t 9p -o "$options" work "/newroot$MORVANE_WORK"
  : >"/newroot$MORVANE_WORK/guest.started"
  chroot /newroot /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    MORVANE_WORK="$MORVANE_WORK" /bin/sh -c 'cd "$MORVANE_WORK" && exec /bin/sh ./guest.cmd' \
    >"/newroot$MORVANE_WORK/guest.out" 2>&1
  echo $? >"/newroot$MORVANE_WORK/guest.status"
  sync
  umount "/newroot$MORVANE_WORK"
fi
reboot -f

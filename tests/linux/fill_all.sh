#!/usr/bin/env bash
# fill_all.sh <morvane-fill> <folder>: --all in a mount namespace of its own whose new root is a tmpfs
# with read-only binds of /usr, /etc and the program's folder, so that the only writable volumes are
# this test's own: each writable file system is filled exactly once, and nothing is written elsewhere.
set -euo pipefail
program=$1 folder=$2 fs=$(dirname "$(realpath "$0")")/../fs/fs_image.sh
if [ "${3:-}" != inside ]; then
  bash "$fs" check "$folder" 2048 || exit $?
  trap 'rm -rf "$folder"' EXIT
  unshare -m --propagation private bash "$0" "$program" "$folder" inside; exit
fi
r=$folder/root v=$folder/root/vol
mkdir -p "$r" && mount -t tmpfs -o size=16m root "$r" && mkdir -p "$r"/{usr,etc,prog,proc,dev}
for d in usr etc; do mount --bind -o ro "/$d" "$r/$d"; done
mount --bind -o ro "$(dirname "$program")" "$r/prog" && mount -t proc proc "$r/proc" && mount --bind /dev "$r/dev"
for l in bin sbin lib lib64; do ln -s "usr/$l" "$r/$l"; done
for t in ext4 xfs btrfs ro; do bash "$fs" make "$folder/$t.img" 320 "${t/ro/ext4}"; done
for t in ext4 xfs btrfs; do bash "$fs" mount "$folder/$t.img" "$v/$t"; done
bash "$fs" mount "$folder/ro.img" "$v/ro" ro && bash "$fs" tmpfs "$v/tmpfs" 16
# Below the --keep-free floor: skipped with its reason, which fails nothing (status 0).
bash "$fs" make "$folder/small.img" 16 ext4 && bash "$fs" mount "$folder/small.img" "$v/small"
# A bind mount, a second mount of one device and a subvolume: the same file systems again.
mkdir "$v/ext4/sub" "$v"/{bind,xfs-again,subvol} && mount --bind "$v/ext4/sub" "$v/bind"
mount "$(findmnt -no SOURCE "$v/xfs")" "$v/xfs-again"
btrfs -q subvolume create "$v/btrfs/sub" && mount -o subvol=sub "$(findmnt -no SOURCE "$v/btrfs")" "$v/subvol"
used() { df --output=used "$r" "$v/tmpfs" "$v/ro" | tr '\n' ' '; }
avail=$(df -B1 --output=avail "$v/ext4" "$v/xfs-again" "$v/btrfs" | tail -n +2 | tr '\n' ' ') before=$(used)
# As the service runs it: --trim, no capability beyond the bounding set its unit gives it, and no
# memory both writable and executable (the kernel's own MDWE, PR_SET_MDWE, for the unit's option).
mdwe='import ctypes, os, sys; ctypes.CDLL(None).prctl(65, 1, 0, 0, 0); os.execv(sys.argv[1], sys.argv[1:])'
caps=$(sed -n 's/^CapabilityBoundingSet=//p' "$(dirname "$(realpath "$0")")/../../resources/morvane-fill.service" | tr 'A-Z ' 'a-z\n' | sed 's/^cap_/+/' | paste -sd,)
set +e; chroot "$r" setpriv --bounding-set "-all,$caps" python3 -c "$mdwe" /prog/morvane-fill --all --json --verbose --quiet --trim --keep-free 20M >"$folder/out" 2>"$folder/err"; status=$?; set -e
cat "$folder/err" "$folder/out" && grep -q '^morvane-fill: /vol/small: skipped: --keep-free asks to leave' "$folder/err"
python3 - "$folder/out" "$status" "$avail" "$before" "$(used)" <<'CHECK'
import json, sys
objects = [json.loads(line) for line in open(sys.argv[1])]
got = {o['folder']: o.get('skipped', o['ending']) for o in objects}
# Mount point, then what --all does there; the binds, the second mount and the subvolume get no line,
# and the machine's own disk, under /usr, /etc and /prog, only read-only ones.
table = {'/vol/ext4': 'done', '/vol/xfs-again': 'done', '/vol/btrfs': 'done', '/vol/small': '--keep-free asks', '/': 'lives in memory',
         '/vol/ro': 'mounted read-only', '/vol/tmpfs': 'lives in memory', '/dev': 'lives in memory', '/proc': 'a pseudo'}
for point in set(table) | set(got):
    assert got.get(point, '-').startswith(table.get(point, 'mounted read-only')), (point, got)
avail = dict(zip(['/vol/ext4', '/vol/xfs-again', '/vol/btrfs'], map(int, sys.argv[3].split())))
filled = [o for o in objects if o['ending'] == 'done']
assert len(objects) == len(got) and len(filled) == 3 == len({o['device'] for o in filled}), objects
assert all(o.get('bytes_discarded', o['bytes_written']) >= avail[o['mount_point']] / 2 for o in filled), filled
assert sys.argv[2] == '0' and sys.argv[4] == sys.argv[5], (sys.argv[2], sys.argv[4], sys.argv[5])
print('PASS:', '; '.join('%s %s' % kv for kv in got.items()))
CHECK

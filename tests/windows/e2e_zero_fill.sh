#!/bin/sh
# Runs of Morvane.exe on a real volume: a loop-mounted image mapped to drive
# M: of the tests' Wine prefix, its free space marked with a 0xFF pattern first.
#   e2e_zero_fill.sh PROGRAM_DIR DRIVER WORK WINE FS_TOOLS CASE
# CASE: ext4 | btrfs   a whole run (ext4-MIB: on an ext4 volume of MIB MiB): no more pattern left than dd leaves on a copy
#                      of the same marked image, no scratch folder, the
#                      leftover Delete_Me_Tenderly7 gone with its paths of up to
#                      3,862 characters, placed files unchanged
#       cancel         cancel mid-run, then close the window mid-run (ext4)
#       small          less than 2 MiB free: a run of whole clusters (ext4)
#       compress       btrfs that compresses the zeros to nothing: the run ends
#                      with a report instead of going on for ever
#       kill           the program killed (SIGKILL) while it writes its first file
#                      and while it writes a copy: the system deletes the scratch
#                      files, the free space comes back (ext4, over 4 GiB)
#       vanish         the volume unmounted (umount -l) mid-run, another program in front:
#                      the boxes are the main window's, the scratch data goes, the report names what is left
#       session        the end of the session (wineboot --end-session) mid-run and
#                      idle: the run stops and cleans up, the settings are stored
#       veto           a session end vetoed by another program mid-run: one report, the run stopped before the end
#       second         a second copy runs on the same drive mid-run: told once, the first run unharmed
#       link           a link planted in the leftover Delete_Me_Tenderly0: one box names it, its target kept
# Exit 77 (skip) with the reason when root, loop devices or disk space are missing.
fs_tools=$5
case_name=$6
bash "$fs_tools/fs_image.sh" sweep "$3/fs" 2>/dev/null
. "$(dirname "$0")/e2e_lib.sh"

FS="$fs_tools/fs_image.sh"
fs_dir=$E2E_WORK/fs
image=$fs_dir/image
vol=$fs_dir/vol
drive_link=$WINEPREFIX/dosdevices/m:

cleanup() {
  e2e_kill
  [ -n "${frozen:-}" ] && fsfreeze -u "$vol" 2>/dev/null
  rm -f "$drive_link"
  bash "$FS" sweep "$fs_dir" >/dev/null 2>&1 || true
}
trap cleanup EXIT INT TERM

case $case_name in
ext4|btrfs) fs_type=$case_name; mib=640 ;;
ext4-*) fs_type=ext4; mib=${case_name#ext4-} ;;
cancel) fs_type=ext4; mib=1024 ;;
small) fs_type=ext4; mib=256 ;;
compress) fs_type=btrfs; mib=512; mount_options=compress=zstd ;;
kill) fs_type=ext4; mib=4400 ;;
session|vanish|veto|second|link) fs_type=ext4; mib=1024 ;;
*) echo "unknown case $case_name"; exit 2 ;;
esac

need=$((mib + 64))
case $case_name in ext4*|btrfs|small) need=$((2 * mib + 64)) ;; esac  # and a copy for dd
reason=$(bash "$FS" check "$fs_dir" $need)
if [ $? -eq 77 ]; then echo "$reason"; exit 77; fi
command -v fsfreeze >/dev/null || { echo "SKIP: fsfreeze missing"; exit 77; }

bash "$FS" make "$image" "$mib" "$fs_type" || exit 1
# Blocks that ext4 keeps for root are not free space to the program (it
# counts what the caller may use); without them the residue shows every
# free block the run missed.
[ "$fs_type" = ext4 ] && tune2fs -m 0 "$image" >/dev/null
# ext4 keeps a pool of free blocks (reserved_clusters) that no ordinary write
# reaches, and which free blocks end up in it depends on the order its
# allocator is asked: the marked blocks it hides differ from writer to writer
# by up to its size (3,584 on 700 MiB). Opened on these throw-away images,
# every free block can be reached, and what is left is what a writer missed.
open_pool() {
  [ "$fs_type" = ext4 ] || return 0
  echo 0 >"/sys/fs/ext4/$(basename "$(findmnt -n -o SOURCE "$1")")/reserved_clusters"
}
# Wine's mount manager reads dosdevices only as it starts, and an earlier
# test's one lives on for a second or two after its last program: a link made
# then stays out of the drive list, and the program picks c:.
map_drive() { timeout 60 wineserver -w || wineserver -k; ln -sfn "$vol" "$drive_link"; }
bash "$FS" mount "$image" "$vol" ${mount_options:-} || exit 1
open_pool "$vol"
map_drive

avail() { sync -f "$vol/."; stat -f -c '%a %S' "$vol" | awk '{ printf "%.0f\n", $1 * $2 }'; }
kbytes_written() { sync -f "$vol/."; cat "/sys/fs/ext4/$(basename "$(findmnt -n -o SOURCE "$vol")")/lifetime_write_kbytes"; }
scratch_left() { ls -d "$vol"/Delete_Me_Tenderly* 2>/dev/null | wc -l; }
scratch_files() { find "$vol" -path "$vol/Delete_Me_Tenderly*" -type f 2>/dev/null | wc -l; }

# gone_within SECONDS: until no scratch file is left and the free space is
# back within 1 MiB; prints how long it took, or "no".
gone_within() {
  i=0
  while [ $i -le $(($1 * 4)) ]; do
    d=$(( $(avail) - free_before )); [ $d -lt 0 ] && d=$((-d))
    if [ "$(scratch_files)" = 0 ] && [ $d -le 1048576 ]; then echo yes; return; fi
    sleep 0.25; i=$((i + 1))
  done
  echo "no ($(scratch_files) files, free $(avail) of $free_before)"
}

# Files the run must not change, and a leftover of an interrupted run.
head -c 3000000 /dev/urandom >"$vol/placed.bin"
mkdir -p "$vol/keep folder"
echo "Не трогать" >"$vol/keep folder/note.txt"
placed_sum=$(cat "$vol/placed.bin" "$vol/keep folder/note.txt" | sha256sum)
mkdir -p "$vol/Delete_Me_Tenderly7"
head -c 8192 /dev/zero >"$vol/Delete_Me_Tenderly7/Delete_Me_Tenderly.TMP3"
# In it, names that pass MAX_PATH: a 195-character folder with a 100-character file
# (319 characters), 120 nested one-letter folders, 16 nested 239-character ones (3,862).
long=$vol/Delete_Me_Tenderly7/$(printf '%0195d' 0)
mkdir -p "$long" "$vol/Delete_Me_Tenderly7$(printf '/a%.0s' $(seq 120))" "$vol/Delete_Me_Tenderly7$(printf '/%0239d' $(seq 16))"
: >"$long/$(printf '%0100d' 0)"
if [ "$case_name" = small ]; then
  # Leave between one cluster and 2 MiB free.
  fallocate -l $(( $(avail) - 1536 * 1024 )) "$vol/filler.bin"
  e2e_log "free before the pattern: $(avail) bytes"
fi
bash "$FS" pattern "$vol" || exit 1
case $case_name in
ext4*|btrfs|small)
  # The reference: dd on a copy of the marked image, each mounted afresh, so
  # that both start from the same layout and the same allocator state.
  bash "$FS" umount "$vol"
  cp --sparse=always "$image" "$fs_dir/dd-image"
  bash "$FS" mount "$image" "$vol" || exit 1
  open_pool "$vol"
  ;;
esac
free_before=$(avail)
e2e_log "$fs_type image of $mib MiB, free space $free_before bytes"

# Morvane.exe started on the volume: its current drive, M:, is the one selected.
start_on_volume() {
  e2e_copy_program
  (cd "$vol" && exec "$E2E_WINE" "$E2E_APP/Morvane.exe" >>"$E2E_WORK/morvane.log" 2>&1) &
  E2E_PID=$!
  e2e_wait_main
  # By handle: a title search asks the window for its text, which a window
  # whose thread waits on a frozen volume cannot answer.
  main_h="#$(drv wait "$E2E_MAIN" 5)"
  chosen=$(drv text "$E2E_MAIN" Drive_To_Zero | cut -c1-2 | tr 'M' 'm')
  e2e_expect "drive chosen" "m:" "$chosen"
  # Any other drive is this machine's own disk: no run may start there.
  [ "$chosen" = m: ] || { echo "FAIL: Wine chose $chosen, not the test volume; nothing is run"; exit 1; }
}

# wait_idle SECONDS: until Command_Run is enabled again; reports boxes met on the way.
boxes=""
wait_idle() {
  i=0
  while [ $i -lt $(($1 * 4)) ]; do
    if drv wait Morvane 0 >/dev/null 2>&1; then
      boxes="$boxes[$(drv text Morvane box)]"
      drv press Morvane OK
    elif [ "$(drv enabled "$E2E_MAIN" Command_Run)" = 1 ]; then
      # The finishing steps enable the button before the run's report, if
      # any, is shown: the run has ended once no box comes for a while.
      drv wait Morvane 2 >/dev/null 2>&1 || return 0
      continue
    fi
    sleep 0.25; i=$((i + 1))
  done
  e2e_log "FAIL: the run did not end within $1 s"; E2E_FAILURES=$((E2E_FAILURES + 1))
}

# wait_for TEST PATH: until the run has made PATH (test -d: its folder, -s: a file with data).
wait_for() {
  i=0
  until [ "$1" "$2" ]; do
    i=$((i + 1)); [ $i -lt 3000 ] || { e2e_log "FAIL: $2 never appeared"; e2e_abort; }
    sleep 0.01
  done
}

# freeze_mid_run: holds the volume still once the run has begun writing, so
# that what the test does next surely happens in the middle of the run.
freeze_mid_run() {
  wait_for -d "$vol/Delete_Me_Tenderly0"
  fsfreeze -f "$vol" && frozen=1
}
thaw() { fsfreeze -u "$vol"; frozen=""; }

check_after_run() {
  e2e_expect "$1: boxes shown" "" "$boxes"
  e2e_expect "$1: scratch folders left" "0" "$(scratch_left)"
  e2e_expect "$1: placed files" "$placed_sum" "$(cat "$vol/placed.bin" "$vol/keep folder/note.txt" | sha256sum)"
  free_after=$(avail)
  # Back to where it was, give or take a few blocks of metadata.
  diff=$((free_after - free_before)); [ $diff -lt 0 ] && diff=$((-diff))
  e2e_expect "$1: free space back (|$free_after - $free_before| <= 1 MiB)" "yes" \
    "$([ $diff -le 1048576 ] && echo yes || echo no)"
}

case $case_name in
compress)
  start_on_volume
  drv click "$E2E_MAIN" Command_Run
  wait_idle 150
  e2e_expect "compress: one report, for the file that took no space" \
    "[Ошибка функции Command_Run_Click №57, 'Device I/O error: the free space did not decrease after writing" \
    "$(printf '%s' "$boxes" | sed 's/ m:.*//')"
  boxes=""
  check_after_run compress
  ;;
ext4*|btrfs|small)
  start_on_volume
  start=$(date +%s)
  drv click "$E2E_MAIN" Command_Run
  wait_idle 120
  e2e_log "run took $(( $(date +%s) - start )) s"
  e2e_expect "progress after the run" "0" "$(drv progress "$E2E_MAIN" ProgressBar)"
  check_after_run run
  e2e_stop
  [ "$case_name" = small ] && rm -f "$vol/filler.bin"
  bash "$FS" umount "$vol"
  left=$(bash "$FS" count "$image")
  bash "$FS" mount "$fs_dir/dd-image" "$fs_dir/dd-vol" || exit 1
  open_pool "$fs_dir/dd-vol"
  dd if=/dev/zero of="$fs_dir/dd-vol/dd.bin" bs=1M conv=fsync status=none 2>/dev/null
  rm -f "$fs_dir/dd-vol/dd.bin"
  bash "$FS" umount "$fs_dir/dd-vol"
  dd_left=$(bash "$FS" count "$fs_dir/dd-image")
  # Free blocks that no writer may fill (btrfs's metadata chunks, ext4's
  # reserve pool) are left by both; the run may miss no more than dd does.
  margin=16
  e2e_log "pattern blocks left: run $left, dd $dd_left (margin $margin)"
  e2e_expect "pattern blocks left by the run within dd's + $margin" "yes" \
    "$([ "$left" -le $((dd_left + margin)) ] && echo yes || echo no)"
  ;;
cancel)
  start_on_volume
  e2e_expect "cancel usable" "1" "$(drv visible "$E2E_MAIN" Command_Cancel)"
  written0=$(kbytes_written)
  drv click-async "$main_h" Command_Run
  freeze_mid_run
  drv click-async "$main_h" Command_Cancel
  thaw
  wait_idle 120
  # A run that went on to the end would have written the whole free space.
  e2e_expect "cancel: stopped early (written < half the free space)" "yes" \
    "$([ $(( ($(kbytes_written) - written0) * 1024 )) -lt $((free_before / 2)) ] && echo yes || echo no)"
  e2e_expect "cancel: buttons idle (run, cancel)" "1 0" \
    "$(drv enabled "$E2E_MAIN" Command_Run \; enabled "$E2E_MAIN" Command_Cancel | tr '\n' ' ' | sed 's/ $//')"
  check_after_run cancel

  written0=$(kbytes_written)
  drv click-async "$main_h" Command_Run
  freeze_mid_run
  drv close "$main_h"
  thaw
  if e2e_wait_exit 60; then e2e_log "ok   closed mid-run: the program ended"
  else
    e2e_log "FAIL closed mid-run: the program is still running; its windows:"
    DISPLAY=${DISPLAY:-} xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null
    for t in Morvane "$E2E_MAIN"; do drv text "$t" box 2>/dev/null; done
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
  check_after_run close
  e2e_expect "close: stopped early (written < half the free space)" "yes" \
    "$([ $(( ($(kbytes_written) - written0) * 1024 )) -lt $((free_before / 2)) ] && echo yes || echo no)"
  ;;
kill)
  for step in "mid-write:Delete_Me_Tenderly.TMP0" "mid-copy:Delete_Me_Tenderly.TMP1"; do
    start_on_volume
    drv click-async "$main_h" Command_Run
    wait_for -s "$vol/Delete_Me_Tenderly0/${step#*:}"
    kill -KILL "$E2E_PID"; wait "$E2E_PID" 2>/dev/null; E2E_PID=""
    e2e_expect "killed ${step%%:*}: no scratch file, free space back within 15 s" "yes" "$(gone_within 15)"
  done
  # What is left, the empty folder, goes with the next run.
  start_on_volume
  drv click "$main_h" Command_Run
  wait_idle 120
  check_after_run "run after the kills"
  e2e_stop
  ;;
session)
  rm -f "$E2E_APP/Settings.ini"
  start_on_volume
  rm -f "$E2E_APP/Settings.ini"
  wineboot --end-session --force >/dev/null 2>&1
  e2e_expect "idle: settings stored at the end of the session" "yes" \
    "$([ -s "$E2E_APP/Settings.ini" ] && echo yes || echo no)"
  # Wine ends the program once it has answered, as Windows does.
  e2e_wait_exit 15 || e2e_kill
  start_on_volume
  rm -f "$E2E_APP/Settings.ini"
  # Unpumped (no cancel option): the run still hears the session end.
  drv click "$main_h" Check_Cancel
  e2e_expect "cancel option off" "0" "$(drv visible "$main_h" Command_Cancel)"
  written0=$(kbytes_written)
  drv click-async "$main_h" Command_Run
  freeze_mid_run
  (wineboot --end-session --force >/dev/null 2>&1) &
  ender=$!
  sleep 1
  thaw
  wait "$ender"
  e2e_expect "mid-run: no scratch file, free space back within 15 s" "yes" "$(gone_within 15)"
  e2e_expect "mid-run: stopped early (written < half the free space)" "yes" \
    "$([ $(( ($(kbytes_written) - written0) * 1024 )) -lt $((free_before / 2)) ] && echo yes || echo no)"
  e2e_expect "mid-run: settings stored" "yes" "$([ -s "$E2E_APP/Settings.ini" ] && echo yes || echo no)"
  e2e_wait_exit 15 || e2e_stop
  check_after_run "after the session end"
  ;;
vanish)
  start_on_volume
  drv click-async "$main_h" Command_Run
  freeze_mid_run
  ("$E2E_WINE" notepad >/dev/null 2>&1 &)
  timeout 20 xdotool search --sync --onlyvisible --name "Untitled - Notepad" >/dev/null || e2e_log "FAIL: no notepad"
  thaw; umount -l "$vol"
  drv wait Morvane 120 >/dev/null
  e2e_expect "vanish: the box's owner; the main window disabled" "$main_h 0" "#$(drv owner Morvane) $(drv enabled "$main_h")"
  wait_idle 120; e2e_stop; drv close "Untitled - Notepad"; e2e_log "vanish: boxes $boxes"
  i=0; while [ -n "$(losetup -j "$image")" ]; do i=$((i + 1)); [ $i -lt 75 ] || e2e_abort; sleep 0.2; done
  bash "$FS" mount "$image" "$vol" || exit 1
  e2e_expect "vanish: one box, naming what is left" yes "$(printf '%s' "$boxes" | grep -qx '\[[^][]*went away during the run[^][]*emptied to 0 bytes; the next run[^][]*\]' && echo yes || echo no)"
  e2e_expect "vanish: scratch files with data left" 0 "$(find "$vol" -path "$vol/Delete_Me_Tenderly*" -type f -size +0 | wc -l)"
  ;;
veto)
  start_on_volume
  drv click-async "$main_h" Command_Run
  freeze_mid_run
  (drv session-goes-on "$main_h" >/dev/null &)
  sleep 1; thaw; wait_idle 120
  e2e_expect "veto: one box, the run stopped before the end" ok "$(printf '%s' "$boxes" | sed 's/^\[Ошибка функции Command_Run_Click №18, .Зануление остановлено до конца: [^]]*\]$/ok/')"
  boxes=""; check_after_run veto; e2e_stop
  ;;
second)
  start_on_volume
  (cd "$vol" && exec "$E2E_WINE" "$E2E_APP/Morvane.exe" >/dev/null 2>&1) &
  i=0; until other="#$(drv windows "$E2E_MAIN" | grep -vx "${main_h#\#}")" && [ "$other" != "#" ]; do i=$((i + 1)); [ $i -lt 100 ] || e2e_abort; sleep 0.3; done
  drv click-async "$main_h" Command_Run
  freeze_mid_run
  drv click-async "$other" Command_Run; drv wait Morvane 30 >/dev/null
  e2e_expect "second: its own box, once" "$other Ошибка функции Command_Run_Click №70, 'Другой запуск зануления уже работает на диске m:. Дождитесь его окончания.', строка 20 1" \
    "#$(drv owner Morvane) $(drv text Morvane box) $(drv press Morvane OK; drv wait Morvane 3 >/dev/null; echo $?)"
  drv close "$other"; thaw; wait_idle 120; check_after_run "first copy"; e2e_stop
  ;;
link)
  mkdir -p "$fs_dir/outside" "$vol/Delete_Me_Tenderly0" && echo keep >"$fs_dir/outside/keep.txt" && ln -s "$fs_dir/outside" "$vol/Delete_Me_Tenderly0/planted"
  start_on_volume; drv click-async "$main_h" Command_Run; wait_idle 60
  e2e_expect "link: one box names it; its target kept" "[Ошибка функции Command_Run_Click №70, 'Permission denied: m:\Delete_Me_Tenderly0\planted is a link that cannot be removed without touching its target', строка 38] keep" "$boxes $(cat "$fs_dir/outside/keep.txt")"
  e2e_stop
  ;;
esac

e2e_finish

#!/bin/sh
# e2e_window.sh <morvane_qt> <display>: starts the built program on a real X screen with a fake df
# and a fake xterm first on PATH, and drives it with the keyboard.
set -u
. "$(dirname "$0")/x_window.sh"
program=$1
export DISPLAY=$2
work=$(mktemp -d)
pid=
fs="$(dirname "$0")/../fs/fs_image.sh"
cleanup() {
  touch "$work/close-viewer"
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ -d "$work/volume" ] && bash "$fs" umount "$work/volume"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$work/bin"
cat >"$work/bin/df" <<'DF'
#!/bin/sh
printf 'Filesystem 1K-blocks Used Available Use%% Mounted on\n/dev/sda1 100 50 50 50%% /\n'
DF
# The fake terminal records its arguments (their count, then one a line) and stays open until told.
cat >"$work/bin/xterm" <<XTERM
#!/bin/sh
printf '%s\n' "\$#" "\$@" >>"$work/xterm-args.txt"
while [ ! -e "$work/close-viewer" ] && [ -d "$work" ]; do sleep 0.1; done
XTERM
chmod +x "$work/bin/df" "$work/bin/xterm"

# A program that finds no display ends at once, which would look like a missing window.
x_wait_display || exit 1
PATH="$work/bin:$PATH" "$program" &
pid=$!

window=$(x_wait_window '^Morvane v\.1\.2$')
[ -n "$window" ] || fail "no window titled 'Morvane v.1.2'"

info=$(xwininfo -id "$window")
x=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
w=$(echo "$info" | sed -n 's/.*Width: *//p')
h=$(echo "$info" | sed -n 's/.*Height: *//p')
[ "$w" = 605 ] && [ "$h" = 370 ] || fail "size ${w}x${h}, expected 605x370"
[ "$x" = 657 ] && [ "$y" = 355 ] || fail "place $x,$y, expected 657,355 on 1920x1080"

if [ -n "${MORVANE_SCREENSHOT:-}" ]; then
  sleep 0.5
  import -window "$window" "$MORVANE_SCREENSHOT" || fail "screenshot"
fi

# Focus starts on the Start button; Stop is disabled, so three tabs reach the licence button.
# A loaded machine may map the window late; give it time before typing.
xdotool windowfocus --sync "$window"
for i in $(seq 50); do
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] && break
  sleep 0.1; xdotool windowfocus "$window"
done
sleep 1
xdotool key Tab Tab Tab space
for i in $(seq 200); do
  [ -s "$work/xterm-args.txt" ] && break
  sleep 0.1
done
[ -s "$work/xterm-args.txt" ] || fail "the licence button started no xterm"
expected="4
-maximized
-e
mcview
$(dirname "$program")/Лицензионное соглашение.txt"
[ "$(cat "$work/xterm-args.txt")" = "$expected" ] || fail "xterm got: $(cat "$work/xterm-args.txt")"

# While the viewer is open the window waits: a second press is not handled until the viewer ends.
xdotool key space
sleep 1
[ "$(grep -c mcview "$work/xterm-args.txt")" = 1 ] || fail "the window did not wait for the viewer"
touch "$work/close-viewer"
for i in $(seq 200); do
  [ "$(grep -c mcview "$work/xterm-args.txt")" = 2 ] && break
  sleep 0.1
done
[ "$(grep -c mcview "$work/xterm-args.txt")" = 2 ] || fail "the window did not come back after the viewer ended"
kill -0 "$pid" 2>/dev/null || fail "morvane_qt ended"
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; pid=

# A run as scripts/run.sh starts the window, straight from the build tree, on a loop volume that df
# alone lists: it must reach "ГОТОВО" with the free space back.
if ! why=$(bash "$fs" check "$work" 300); then
  echo "run part skipped: $why"
  echo "PASS"
  exit 0
fi
bash "$fs" make "$work/run.img" 256 ext4 && bash "$fs" mount "$work/run.img" "$work/volume" || fail "no loop volume"
avail() { /bin/df --output=avail -B1 "$work/volume" | tail -n 1; }
before=$(avail)
cat >"$work/bin/df" <<DF
#!/bin/sh
/bin/df "\$@" | awk -v m="$work/volume" 'NR == 1 || \$NF == m'
DF
PATH="$work/bin:$PATH" "$program" &
pid=$!
window=$(x_wait_window '^Morvane v\.1\.2$')
[ -n "$window" ] || fail "no window for the run"
xdotool windowfocus --sync "$window"; sleep 1
# Start has the focus; two tabs reach the partition list, the volume is its second entry.
xdotool key Tab Tab Down shift+Tab shift+Tab space
sleep 1
xdotool key alt+y
done_text=
for i in $(seq 90); do
  sleep 1
  [ -d "$work/volume/Delete_Zero" ] && continue
  # The reader takes the bold capitals for small letters now and then.
  import -window "$window" -resize 200% "$work/run.png" 2>/dev/null &&
    tesseract "$work/run.png" - -l rus 2>/dev/null | grep -qE 'ГОТОВО|готово' && done_text=1 && break
done
[ -n "$done_text" ] || fail "the run did not reach ГОТОВО"
[ $(( before - $(avail) )) -le 1048576 ] || fail "free space not back: $before before, $(avail) after"
echo "PASS"

#!/usr/bin/env bash
# package_deb.sh <deb> <display>: installs the package as a user would (apt-get install ./….deb),
# checks its files, starts morvane_qt from PATH and through the menu entry's administrator action
# (pkexec) on the display, asks polkit for the action, then purges the package and checks that
# nothing of it is left. Needs root; a trap purges the package if the test stops midway.
set -u
. "$(dirname "$0")/../linux/x_window.sh"
deb=$1
export DISPLAY=$2
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

[ "$(id -u)" = 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "no apt-get: not a Debian system"
[ -f "$deb" ] || fail "no package $deb"
pkg=$(dpkg-deb -f "$deb" Package)
case $(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null) in
  "" | not-installed) ;;
  *) skip "$pkg is already installed on this machine; the test would remove it" ;;
esac

work=$(mktemp -d)
pids=()
installed=0
own_bus=0
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  [ $own_bus = 1 ] && rm -f "$system_bus"
  if [ $installed = 1 ]; then
    echo "purging $pkg after the failure"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$pkg" >/dev/null 2>&1 || dpkg --purge "$pkg"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
apt() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 -y -qq "$@" >"$work/apt.log" 2>&1; }

installed=1
(cd "$(dirname "$deb")" && apt install "./$(basename "$deb")") || { cat "$work/apt.log"; fail "apt-get install"; }
echo "installed $(dpkg-query -W -f='${Package} ${Version}' "$pkg")"

# The files of the install layout this test knows; others may come with them.
program=/usr/lib/morvane/morvane_qt
dpkg -L "$pkg" >"$work/files"
for size in 16 22 24 32 48 64 128 256; do
  echo "/usr/share/icons/hicolor/${size}x${size}/apps/morvane.png"
done >"$work/expected"
cat >>"$work/expected" <<FILES
$program
/usr/lib/morvane/Значок.ico
/usr/lib/morvane/Лицензионное соглашение.txt
/usr/lib/morvane/Справка.txt
/usr/bin/morvane_qt
/usr/lib/morvane/morvane-fill
/usr/bin/morvane-fill
/usr/share/man/man1/morvane-fill.1.gz
/usr/lib/systemd/system/morvane-fill.service
/usr/lib/systemd/system/morvane-fill.timer
/usr/share/applications/morvane_qt.desktop
/usr/share/polkit-1/actions/org.morvane.pkexec.morvane_qt.policy
/usr/share/man/man1/morvane_qt.1.gz
/usr/share/doc/morvane/copyright
/usr/share/doc/morvane/changelog.gz
FILES
while read -r f; do
  grep -qxF "$f" "$work/files" || fail "dpkg -L $pkg does not list $f"
  [ -f "$f" ] || fail "$f is listed but not installed"
done <"$work/expected"
depends=$(dpkg-query -W -f='${Depends}' "$pkg")
for d in xterm mc libqt6widgets6; do
  echo ", $depends," | grep -q ", $d[ ,]" || fail "Depends lacks $d: $depends"
done
echo "files and Depends as expected"
verify=$(systemd-analyze verify /usr/lib/systemd/system/morvane-fill.{service,timer} 2>&1) && [ -z "$verify" ] ||
  fail "systemd-analyze verify: $verify"
[ ! -e /etc/systemd/system/timers.target.wants/morvane-fill.timer ] || fail "the package enabled the timer"
# The service reaches every volume with no more than it needs: 4.5 before its hardening.
score=$(systemd-analyze security --offline=yes /usr/lib/systemd/system/morvane-fill.service 2>&1 | sed -n 's/.*exposure level.*: \([0-9.]*\).*/\1/p')
awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 2.2) }' || fail "systemd-analyze security rates the service '$score', above 2.2"
echo "systemd-analyze verify accepts the service and the timer, security rates the service $score; the timer is left off"

# wait_window <log>: the program's window on the display, by its title; its process must be the
# installed program.
wait_window() {
  window=$(x_wait_window '^Morvane v\.1\.2$')
  [ -n "$window" ] || { cat "$1"; fail "no window titled 'Morvane v.1.2'"; }
  exe=$(readlink "/proc/$(xdotool getwindowpid "$window")/exe")
  [ "$exe" = "$program" ] || fail "the window belongs to $exe, not $program"
}
# stop_program: ends the last started program and waits until its window is gone.
stop_program() {
  kill "${pids[-1]}" 2>/dev/null; wait "${pids[-1]}" 2>/dev/null
  unset 'pids[-1]'
  for _ in $(seq 50); do
    xdotool search --name '^Morvane v\.1\.2$' >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "the window stayed after the program ended"
}

morvane-fill --version | grep -qx 'morvane-fill [0-9.]*' ||
  fail "the package's morvane-fill did not start: $(morvane-fill --version 2>&1)"
[ "$(command -v morvane_qt)" = /usr/bin/morvane_qt ] ||
  fail "morvane_qt on PATH is '$(command -v morvane_qt)', not the package's /usr/bin/morvane_qt"
morvane_qt >"$work/plain.log" 2>&1 &
pids+=($!)
wait_window "$work/plain.log"
echo "morvane_qt from PATH shows its window"
stop_program

# polkit answers on the system bus. Where none runs (a container), this test starts its own at the
# standard address, which pkexec always uses, with a polkitd on it, and stops both at the end.
system_bus=/run/dbus/system_bus_socket
bus_answers() {
  timeout 5 dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId >/dev/null 2>&1
}
unset DBUS_SYSTEM_BUS_ADDRESS
if ! timeout 10 pkaction >/dev/null 2>&1; then
  if ! bus_answers; then
    [ -S "$system_bus" ] && rm -f "$system_bus"   # nobody listens there
    mkdir -p "$(dirname "$system_bus")"
    cat >"$work/bus.conf" <<BUS
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
BUS
    dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >"$work/bus.log" 2>&1 &
    pids+=($!)
    own_bus=1
    for _ in $(seq 50); do bus_answers && break; sleep 0.1; done
    bus_answers || { cat "$work/bus.log"; fail "no system bus"; }
    echo "a system bus of this test's own"
  fi
  /usr/lib/polkit-1/polkitd --no-debug >"$work/polkitd.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do timeout 5 pkaction >/dev/null 2>&1 && break; sleep 0.1; done
  timeout 5 pkaction >/dev/null 2>&1 || { cat "$work/polkitd.log"; fail "polkitd did not start"; }
  echo "a polkitd of this test's own"
fi
action=org.morvane.pkexec.morvane_qt
details=$(timeout 10 pkaction --action-id "$action" --verbose) || fail "pkaction does not know $action"
echo "$details" | grep -q "org.freedesktop.policykit.exec.path -> $program\$" || fail "exec.path: $details"
echo "$details" | grep -q 'org.freedesktop.policykit.exec.allow_gui -> true$' || fail "allow_gui: $details"
echo "polkit knows $action for $program, with the display kept"

# The administrator action of the menu entry, run as the desktop runs it: pkexec clears DISPLAY
# unless the action allows a GUI, so a window proves the whole way.
root_exec=$(sed -n '/^\[Desktop Action Root\]/,/^\[/s/^Exec=//p' /usr/share/applications/morvane_qt.desktop)
[ "$root_exec" = "pkexec $program" ] || fail "administrator action runs '$root_exec'"
$root_exec >"$work/pkexec.log" 2>&1 &
pids+=($!)
wait_window "$work/pkexec.log"
echo "the administrator action shows the window"
stop_program

installed=0
apt purge "$pkg" || { cat "$work/apt.log"; installed=1; fail "apt-get purge"; }
[ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" != installed ] || fail "$pkg still installed"
# Whatever dpkg listed must be gone, but for folders other packages still own.
left=$(while read -r f; do
  [ -e "$f" ] || [ -L "$f" ] || continue
  [ -d "$f" ] && dpkg-query -S "$f" >/dev/null 2>&1 && continue
  echo "$f"
done <"$work/files")
[ -z "$left" ] || fail "left after purging: $left"
echo "PASS: purged, nothing of $pkg left"

#!/bin/sh
# screenshot.sh PROGRAM_DIR DRIVER_EXE OUT.png [CONTROL [TITLE]]
# Starts Morvane.exe in a Wine virtual desktop (which draws title bars even
# without a window manager) on $DISPLAY, optionally clicks CONTROL of the main
# window and waits for the window TITLE, then saves the desktop to OUT.png.
# Needs WINEPREFIX and DISPLAY (for example a running tests/xvfb.sh display).
set -eu
dir=$1; driver=$2; out=$3; control=${4:-}; title=${5:-Morvane v.1.2}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
size=${MORVANE_SCREENSHOT_SIZE:-360x260}
(cd "$dir" && exec wine explorer "/desktop=Morvane,$size" Morvane.exe >/dev/null 2>&1) &
desktop=$!
wine "$driver" --desktop Morvane wait "Morvane v.1.2" 30 >/dev/null
[ -z "$control" ] || wine "$driver" --desktop Morvane click-async "Morvane v.1.2" "$control"
wine "$driver" --desktop Morvane wait "$title" 30 >/dev/null
sleep 1
import -display "$DISPLAY" -window root -crop "$size+0+0" +repage "$out"
wine "$driver" --desktop Morvane close "Morvane v.1.2" || true
sleep 2
kill "$desktop" 2>/dev/null || true
wait "$desktop" 2>/dev/null || true
echo "saved $out"

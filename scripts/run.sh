#!/usr/bin/env bash
# Installs what is missing, builds, and starts morvane_qt on the current X display; without one it
# says so and shows the terminal program morvane-fill instead.
#   scripts/run.sh            the Linux program
#   scripts/run.sh --windows  Morvane.exe under Wine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# Over SSH on a server there is no display to show a window on; the terminal program does the job.
if [ -z "${WAYLAND_DISPLAY:-}" ] && ! { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
  why="DISPLAY is not set"; [ -z "${DISPLAY:-}" ] || why="the display $DISPLAY does not answer"
  echo "run.sh: the window needs an X display ($why); instead:
  sudo $root/build/linux/fill/morvane-fill FOLDER...   zero the free space from this terminal (see --help)
  xvfb-run -a $root/build/linux/morvane_qt            the window on a virtual display" >&2
  exit 1
fi
if [ "${1:-}" = "--windows" ]; then
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-morvane}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -d "$WINEPREFIX" ] || wineboot -i
  exec wine "$root/build/windows-build/windows/Morvane.exe"
fi
exec "$root/build/linux/morvane_qt"

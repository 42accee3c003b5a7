#!/usr/bin/env bash
# Installs what is missing, builds, and starts morvane_qt on the current X display.
#   scripts/run.sh            the Linux program
#   scripts/run.sh --windows  Morvane.exe under Wine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
if [ "${1:-}" = "--windows" ]; then
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-morvane}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -d "$WINEPREFIX" ] || wineboot -i
  exec wine "$root/build/windows-build/windows/Morvane.exe"
fi
exec "$root/build/linux/morvane_qt"

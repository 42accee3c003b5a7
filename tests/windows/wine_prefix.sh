#!/bin/sh
# wine_prefix.sh create|stop -- the tests' own Wine prefix ($WINEPREFIX), made
# without network or dialogs (Mono and Gecko installs are switched off by
# WINEDLLOVERRIDES).  Stop ends this prefix's wineserver only.
set -eu
case "$1" in
create)
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i 2>&1 | grep -v -e 'wine32 is missing' -e 'multiarch' -e 'dpkg --add' -e 'wine32:i386' || true
  fi
  wineserver -w
  [ -d "$WINEPREFIX/drive_c/windows/system32" ] || { echo "Wine prefix $WINEPREFIX was not created"; exit 1; }
  echo "Wine prefix ready: $WINEPREFIX" ;;
stop)
  wineserver -k 2>/dev/null || true ;;
esac

#!/bin/sh
# package_zip.sh <program dir> <Test_Driver.exe> <work dir> <zip> <version resource>: unpacks the
# portable zip into drive C: of a fresh Wine prefix, as a Windows user would, starts Morvane.exe
# from another folder, checks the caption and the version, closes it, and checks that
# "Settings.ini" was written beside the program. <program dir> holds the build's documents.
zip=$4
version=$5
set -- "$1" "$2" "$3" wine
. "$(dirname "$0")/../windows/e2e_lib.sh"
trap 'e2e_kill; wineserver -k 2>/dev/null' EXIT INT TERM

[ -f "$zip" ] || { e2e_log "FAIL: no package $zip"; exit 1; }
folder=$(basename "$zip" .zip)
e2e_expect "the zip's entries" \
  "$folder/Morvane.exe|$folder/Лицензионное соглашение.txt|$folder/Справка.txt|" \
  "$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' '|')"

export WINEPREFIX="$E2E_WORK/prefix"
wineboot -i >"$E2E_WORK/wineboot.log" 2>&1
wineserver -w
[ -d "$WINEPREFIX/drive_c/windows/system32" ] || { cat "$E2E_WORK/wineboot.log"; e2e_log "FAIL: no Wine prefix"; exit 1; }
unzip -q "$zip" -d "$WINEPREFIX/drive_c" || { e2e_log "FAIL: unzip"; exit 1; }
E2E_APP="$WINEPREFIX/drive_c/$folder"
for document in "Лицензионное соглашение.txt" "Справка.txt"; do
  e2e_expect "$document is the build's Windows-1251 file" same \
    "$(cmp -s "$E2E_APP/$document" "$E2E_PROGRAM_DIR/$document" && echo same || echo different)"
done

# Started from another folder, as from a shortcut: the settings must still go beside the program.
exe="C:\\$folder\\Morvane.exe"
(cd "$E2E_WORK" && exec wine "$exe" >>"$E2E_WORK/morvane.log" 2>&1) &
E2E_PID=$!
e2e_wait_main
e2e_log "ok   caption: $E2E_MAIN"
e2e_expect "version resource" "$version" "$(drv version "$exe")"
e2e_stop
e2e_expect "files beside the program after its first run" \
  "Morvane.exe|Settings.ini|Лицензионное соглашение.txt|Справка.txt|" \
  "$(ls "$E2E_APP" | LC_ALL=C sort | tr '\n' '|')"
e2e_expect "Settings.ini holds the window's options" 1 "$(grep -c '^\[Form_Main\]' "$E2E_APP/Settings.ini" 2>/dev/null)"

wineserver -k 2>/dev/null
[ "$E2E_FAILURES" -eq 0 ] && rm -rf "$WINEPREFIX"
e2e_finish

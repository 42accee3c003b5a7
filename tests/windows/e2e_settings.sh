#!/bin/sh
# Settings.ini beside Morvane.exe: the stored option and place are restored at
# start, and closing the window writes every key back.
. "$(dirname "$0")/e2e_lib.sh"

crlf() { printf '%s\r\n' "$@"; }
shown() { tr '\r\n' '|/' <"$1"; }

e2e_copy_program
# 1500 and 1200 twips: 100 and 80 pixels at 96 DPI, whole pixels at 120 and 144 too.
crlf "[Form_Main]" "Form_Main_Check_Cancel=0" "Form_Main_Check_MsgBox=0" \
     "[Program_Settings]" "Form_Left=1500" "Form_Top=1200" >"$E2E_WORK/expected.ini"
cp "$E2E_WORK/expected.ini" "$E2E_APP/Settings.ini"

e2e_start
e2e_wait_main

# The driver gives the client area; the frame and the caption lie between it
# and the window's corner, the centred start place is hundreds of pixels away.
set -- $(drv rect "$E2E_MAIN")
e2e_log "client area on the screen: $*"
e2e_expect "client left within the frame of left edge 100" 1 "$([ "${1:-9999}" -ge 100 ] && [ "$1" -le 120 ] && echo 1 || echo 0)"
e2e_expect "client top within the caption below top edge 80" 1 "$([ "${2:-9999}" -ge 80 ] && [ "$2" -le 140 ] && echo 1 || echo 0)"
e2e_expect "Check_Cancel restored" 0 "$(drv check "$E2E_MAIN" Check_Cancel)"
e2e_expect "Command_Cancel hidden by the restored option" 0 "$(drv visible "$E2E_MAIN" Command_Cancel)"
e2e_expect "Check_MsgBox stays hidden" 0 "$(drv visible "$E2E_MAIN" Check_MsgBox)"

e2e_stop
e2e_expect "Settings.ini after closing" "$(shown "$E2E_WORK/expected.ini")" "$(shown "$E2E_APP/Settings.ini")"

# A greyed option comes back greyed; a place left of and above the screen is stored at its edges.
crlf "[Form_Main]" "Form_Main_Check_Cancel=2" "Form_Main_Check_MsgBox=0" \
     "[Program_Settings]" "Form_Left=-1500" "Form_Top=-1500" | tee "$E2E_WORK/edges.ini" >"$E2E_APP/Settings.ini"
e2e_start; e2e_wait_main
e2e_expect "Check_Cancel restored greyed" 2 "$(drv check "$E2E_MAIN" Check_Cancel)"
e2e_stop
e2e_expect "greyed option and screen edges stored" "$(shown "$E2E_WORK/edges.ini" | sed 's/-1500/0/g')" "$(shown "$E2E_APP/Settings.ini")"

# First start without the file: design values, and the exit creates it.
rm -f "$E2E_APP/Settings.ini"
e2e_start
e2e_wait_main
e2e_expect "Command_Cancel visible without a settings file" 1 "$(drv visible "$E2E_MAIN" Command_Cancel)"
e2e_stop
e2e_expect "sections and option keys of a new file" \
  "[Form_Main]|/Form_Main_Check_Cancel=1|/Form_Main_Check_MsgBox=0|/[Program_Settings]|/" \
  "$(head -n 4 "$E2E_APP/Settings.ini" | shown /dev/stdin)"
e2e_expect "position keys of a new file" 2 "$(grep -c '^Form_\(Left\|Top\)=[0-9][0-9]*' "$E2E_APP/Settings.ini")"

e2e_finish

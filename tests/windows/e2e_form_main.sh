#!/bin/sh
# The main window under Wine: title, controls at their places at 96 DPI,
# initial states, the drive list, the version resource; closing ends the program.
. "$(dirname "$0")/e2e_lib.sh"

e2e_copy_program
e2e_start
e2e_wait_main

e2e_expect "no error report" "" "$(drv wait Morvane 0.5 2>/dev/null)"
e2e_expect "title" "$E2E_MAIN" "$(drv text "$E2E_MAIN")"

# Places in pixels at Wine's 96 DPI: 15 twips a pixel.
places=$(drv rect "$E2E_MAIN" Command_Run \; rect "$E2E_MAIN" Drive_To_Zero \; rect "$E2E_MAIN" Check_Cancel \
  \; rect "$E2E_MAIN" Command_Cancel \; rect "$E2E_MAIN" ProgressBar \; rect "$E2E_MAIN" Command_Licence \
  \; rect "$E2E_MAIN" Command_Help)
e2e_expect "Command_Run place" "8 40 225 17" "$(echo "$places" | sed -n 1p)"
e2e_expect "Drive_To_Zero left, top, width" "8 8 225" "$(echo "$places" | sed -n 2p | cut -d' ' -f1-3)"
e2e_expect "Check_Cancel place" "8 64 225 17" "$(echo "$places" | sed -n 3p)"
e2e_expect "Command_Cancel place" "8 88 225 17" "$(echo "$places" | sed -n 4p)"
e2e_expect "ProgressBar place" "8 112 225 17" "$(echo "$places" | sed -n 5p)"
e2e_expect "Command_Licence place" "8 136 225 17" "$(echo "$places" | sed -n 6p)"
e2e_expect "Command_Help place" "8 160 225 17" "$(echo "$places" | sed -n 7p)"
e2e_expect "client size" "239 182" "$(drv rect "$E2E_MAIN" | cut -d' ' -f3-4)"

states=$(drv text "$E2E_MAIN" Command_Run \; text "$E2E_MAIN" Check_Cancel \; text "$E2E_MAIN" Command_Cancel \
  \; text "$E2E_MAIN" Command_Licence \; text "$E2E_MAIN" Command_Help \; check "$E2E_MAIN" Check_Cancel \
  \; visible "$E2E_MAIN" Command_Cancel \; enabled "$E2E_MAIN" Command_Cancel \; visible "$E2E_MAIN" Check_MsgBox \
  \; visible "$E2E_MAIN" Picture_Print \; progress "$E2E_MAIN" ProgressBar \; focus "$E2E_MAIN")
e2e_expect "captions and states" "Занулить свободное пространство
Использовать отмену (медленнее)
Отмена
Лицензия
Справка
1
1
0
0
0
0
Command_Run" "$states"

# The drive list: every entry starts with a letter and a colon; the current drive is selected.
items=$(drv items "$E2E_MAIN" Drive_To_Zero)
e2e_expect "drive entries all start with a letter and a colon" "" "$(echo "$items" | grep -v '^[a-z]:' || true)"
e2e_expect "drive list has c:" "c:" "$(echo "$items" | grep -o '^c:' | head -1)"
current=$(winepath -w "$E2E_APP" 2>/dev/null | cut -c1 | tr 'A-Z' 'a-z')
e2e_expect "selected drive" "$current:" "$(drv text "$E2E_MAIN" Drive_To_Zero | cut -c1-2)"

e2e_expect "version resource" "Morvane 1.2" "$(drv version "$(winepath -w "$E2E_APP/Morvane.exe" 2>/dev/null)")"

e2e_stop
e2e_expect "window gone after close" "" "$(drv wait "$E2E_MAIN" 0.2 2>/dev/null)"
e2e_finish

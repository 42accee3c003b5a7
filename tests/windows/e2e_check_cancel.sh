#!/bin/sh
# Clicking Check_Cancel with the mouse (xdotool on the X display) hides and
# shows Command_Cancel; Command_Cancel stays disabled while idle.
. "$(dirname "$0")/e2e_lib.sh"

e2e_copy_program
e2e_start
e2e_wait_main

# mouse_click CONTROL: a real mouse click in the middle of the control's left part.
mouse_click() {
  set -- $(drv rect "$E2E_MAIN" \; rect "$E2E_MAIN" "$1" | tr '\n' ' ')
  xdotool mousemove $(($1 + $5 + 8)) $(($2 + $6 + $8 / 2)) sleep 0.2 click 1
  sleep 0.5
}

mouse_click Check_Cancel
e2e_expect "unticked: value, cancel visible" "0 0" \
  "$(drv check "$E2E_MAIN" Check_Cancel \; visible "$E2E_MAIN" Command_Cancel | tr '\n' ' ' | sed 's/ $//')"
mouse_click Check_Cancel
e2e_expect "ticked again: value, cancel visible, cancel enabled" "1 1 0" \
  "$(drv check "$E2E_MAIN" Check_Cancel \; visible "$E2E_MAIN" Command_Cancel \; enabled "$E2E_MAIN" Command_Cancel \
     | tr '\n' ' ' | sed 's/ $//')"

e2e_stop
e2e_finish

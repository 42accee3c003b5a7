#!/bin/sh
# The help window of Morvane.exe belongs to its own copy of the program, and a
# help window that cannot be made gives the main window back.
#  - Two copies in one prefix: with the first copy's help open, the second
#    copy's "Справка" opens the second copy's own help window, owned by it;
#    closing that window enables the second main window again.
#  - A test build (5th argument) fails on request (MORVANE_FAULT) while the
#    help window opens: registering its class, creating it, its window
#    procedure refusing its creation, creating its print button.  Each is
#    reported, the main window is enabled again, no help window is left and the
#    program still closes normally.
. "$(dirname "$0")/e2e_lib.sh"

FAULT_EXE=$5
HELP="Morvane - Справка"
SECOND_PID=""
trap 'e2e_kill; [ -z "$SECOND_PID" ] || kill "$SECOND_PID" 2>/dev/null' EXIT INT TERM

# wait_count TITLE COUNT: until COUNT visible windows have that title (10 s at most).
wait_count() {
  i=0
  while [ "$(drv windows "$1" | wc -l)" -ne "$2" ]; do
    i=$((i + 1)); [ $i -le 100 ] || return 1
    sleep 0.1
  done
}

other_than() { drv windows "$1" | grep -v -x "$2" | head -n 1; }

e2e_copy_program
e2e_start
first=$(drv wait "$E2E_MAIN" 30) || { e2e_log "FAIL: no main window"; e2e_dump; e2e_abort; }
drv click-async "#$first" Command_Help
first_help=$(drv wait "$HELP" 20) || { e2e_log "FAIL: the help window did not open"; e2e_dump; e2e_abort; }

(cd "$E2E_APP" && exec "$E2E_WINE" ./Morvane.exe >>"$E2E_WORK/morvane.log" 2>&1) &
SECOND_PID=$!
wait_count "$E2E_MAIN" 2 || { e2e_log "FAIL: the second copy did not open its window"; e2e_dump; e2e_abort; }
second=$(other_than "$E2E_MAIN" "$first")
drv click-async "#$second" Command_Help
wait_count "$HELP" 2 || e2e_log "FAIL: the second copy opened no help window of its own"
second_help=$(other_than "$HELP" "$first_help")
e2e_expect "the second help window is owned by the second copy" "$second" "$(drv owner "#${second_help:-0}")"
e2e_expect "the first help window stays with the first copy" "$first" "$(drv owner "#$first_help")"
e2e_expect "second main window disabled while its help is open" 0 "$(drv enabled "#$second")"
drv close "#${second_help:-0}"
wait_count "$HELP" 1 || e2e_log "FAIL: the second help window did not close"
e2e_expect "second main window enabled after its help closed" 1 "$(drv enabled "#$second")"
e2e_expect "first main window still disabled by its own help" 0 "$(drv enabled "#$first")"
drv close "#$second"
i=0
while kill -0 "$SECOND_PID" 2>/dev/null && [ $i -lt 150 ]; do i=$((i + 1)); sleep 0.1; done
kill -0 "$SECOND_PID" 2>/dev/null && e2e_expect "second copy ended after closing" ended running
SECOND_PID=""
drv close "#$first_help"
drv wait-gone "$HELP" 10 || e2e_log "FAIL: the first help window did not close"
e2e_expect "first main window enabled after its help closed" 1 "$(drv enabled "#$first")"
e2e_stop

# A help file of one 2.4 MB line (Unix line ends make one line) opens like any other.
yes 'lorem ipsum dolor sit amet' | head -c 2400000 >"$E2E_APP/Справка.txt"
e2e_start; e2e_wait_main; drv click-async "$E2E_MAIN" Command_Help
e2e_expect "help window of one 2.4 MB line open within 20 s" yes "$(drv wait "$HELP" 20 >/dev/null && echo yes || echo no)"
drv close "$HELP"; drv wait-gone "$HELP" 10; e2e_stop
cp "$E2E_PROGRAM_DIR/Справка.txt" "$E2E_APP/"

# The test build in the shipped program's place, beside the same companion files.
cp "$FAULT_EXE" "$E2E_APP/Morvane.exe"
for fault in register window create control; do
  MORVANE_FAULT=$fault e2e_start
  e2e_wait_main
  drv click-async "$E2E_MAIN" Command_Help
  drv wait Morvane 20 >/dev/null || { e2e_log "FAIL: no report when '$fault' fails"; e2e_dump; e2e_abort; }
  report=$(drv text Morvane box)
  e2e_log "report when '$fault' fails: $report"
  e2e_expect "report of '$fault'" "Ошибка функции Command_Help_Click № строка 3" \
    "$(printf '%s' "$report" | sed -n "s/^\(Ошибка функции Command_Help_Click №\)-\{0,1\}[0-9][0-9]*, '.*', \(строка 3\)$/\1 \2/p")"
  drv press Morvane OK
  drv wait-gone Morvane 10 || e2e_log "FAIL: the report box stayed"
  e2e_expect "main window enabled after '$fault'" 1 "$(drv enabled "$E2E_MAIN")"
  e2e_expect "help windows left after '$fault', hidden ones too" 0 "$(drv class-count Morvane_Form_Help)"
  e2e_stop
done

e2e_finish

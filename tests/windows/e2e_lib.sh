# e2e_lib.sh -- shell functions for the end-to-end tests of Morvane.exe.
# Sourced by a script that CTest starts with the arguments
#   PROGRAM_DIR DRIVER_EXE WORK_DIR WINE
# and the environment WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES.
#
#   e2e_copy_program        fresh copy of Morvane.exe and its companion files in $E2E_APP
#   e2e_start               start Morvane.exe from $E2E_APP (cwd $E2E_APP); pid in $E2E_PID
#   e2e_wait_main           wait for the main window "Morvane v.1.2"
#   drv COMMAND ARGS...     run Test_Driver.exe (see its header for the commands)
#   e2e_expect WHAT EXPECTED ACTUAL     compare, print, remember failures
#   e2e_stop                close the main window (as the close box would) and wait for the exit
#   e2e_screenshot FILE     the whole X display as a PNG (no title bars: there is no window manager;
#                           tests/windows/screenshot.sh makes pictures with them)
#   e2e_skip REASON         print the reason and end the test as skipped (exit 77)
#   e2e_finish              exit 0 or 1 by the results; stopping what is still running
# Files the program should find beside it (Settings.ini, ...) go into $E2E_APP
# after e2e_copy_program and before e2e_start.
# The main window's title is in $E2E_MAIN.
set -u

E2E_PROGRAM_DIR=$1
E2E_DRIVER=$2
E2E_WORK=$3
E2E_WINE=${4:-wine}
E2E_MAIN="Morvane v.1.2"
E2E_APP=$E2E_WORK/app
E2E_PID=""
E2E_FAILURES=0

e2e_log() { printf '%s\n' "$*"; }

drv() {
  "$E2E_WINE" "$E2E_DRIVER" "$@" 2>>"$E2E_WORK/driver.err"
}

e2e_copy_program() {
  rm -rf "$E2E_APP"
  mkdir -p "$E2E_APP"
  cp "$E2E_PROGRAM_DIR/Morvane.exe" "$E2E_PROGRAM_DIR/Лицензионное соглашение.txt" \
     "$E2E_PROGRAM_DIR/Справка.txt" "$E2E_PROGRAM_DIR/Значок.ico" "$E2E_APP/"
}

e2e_start() {
  (cd "$E2E_APP" && exec "$E2E_WINE" ./Morvane.exe >>"$E2E_WORK/morvane.log" 2>&1) &
  E2E_PID=$!
}

e2e_wait_main() {
  drv wait "$E2E_MAIN" 30 >/dev/null || { e2e_log "FAIL: window '$E2E_MAIN' did not appear"; e2e_dump; e2e_abort; }
}

e2e_expect() {
  if [ "$2" = "$3" ]; then
    e2e_log "ok   $1: $3"
  else
    e2e_log "FAIL $1: expected '$2', got '$3'"
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
}

# e2e_wait_exit SECONDS: wait for Morvane.exe to end; 1 when it is still running.
e2e_wait_exit() {
  [ -n "$E2E_PID" ] || return 0
  i=0
  while kill -0 "$E2E_PID" 2>/dev/null; do
    i=$((i + 1)); [ $i -le $(($1 * 10)) ] || return 1
    sleep 0.1
  done
  wait "$E2E_PID" 2>/dev/null || true
  E2E_PID=""
}

e2e_stop() {
  [ -n "$E2E_PID" ] || return 0
  drv close "$E2E_MAIN" || true
  e2e_wait_exit 15 || { e2e_log "FAIL: Morvane.exe did not end after closing"; E2E_FAILURES=$((E2E_FAILURES + 1)); e2e_kill; }
}

e2e_kill() {
  if [ -n "$E2E_PID" ]; then
    kill "$E2E_PID" 2>/dev/null || true
    wait "$E2E_PID" 2>/dev/null || true
    E2E_PID=""
  fi
}

e2e_screenshot() {
  import -display "$DISPLAY" -window root "$1"
}

e2e_dump() {
  [ -s "$E2E_WORK/driver.err" ] && { e2e_log "--- driver errors"; cat "$E2E_WORK/driver.err"; }
  [ -s "$E2E_WORK/morvane.log" ] && { e2e_log "--- Morvane.exe output"; cat "$E2E_WORK/morvane.log"; }
  return 0
}

e2e_abort() {
  e2e_kill
  exit 1
}

e2e_skip() {
  e2e_log "SKIP: $*"
  e2e_kill
  exit 77
}

e2e_finish() {
  e2e_kill
  if [ "$E2E_FAILURES" -ne 0 ]; then
    e2e_dump
    e2e_log "$E2E_FAILURES check(s) failed"
    exit 1
  fi
  e2e_log "all checks passed"
  exit 0
}

trap 'e2e_kill' EXIT INT TERM
rm -rf "$E2E_WORK"
mkdir -p "$E2E_WORK"

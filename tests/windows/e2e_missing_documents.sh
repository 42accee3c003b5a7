#!/bin/sh
# A missing document is reported by Form_Load with the label of its open, one
# that opens but cannot be read with the label of its read; the caption keeps
# "Form_Main" and the window still works.
. "$(dirname "$0")/e2e_lib.sh"

# check_missing FILE LABEL [unreadable]
check_missing() {
  e2e_copy_program
  rm "$E2E_APP/$1"
  # Memory of a process opens as a file, and reading it from its start fails.
  [ -n "${3:-}" ] && ln -s /proc/self/mem "$E2E_APP/$1"
  e2e_start
  drv wait Morvane 30 >/dev/null || { e2e_log "FAIL: no report box without $1"; e2e_dump; e2e_abort; }
  if [ -n "${3:-}" ]; then
    e2e_expect "report for an unreadable $1" "Ошибка функции Form_Load №… строка $2" \
      "$(drv text Morvane box | sed 's/№.*строка/№… строка/')"
  else
    e2e_expect "report without $1" "Ошибка функции Form_Load №53, 'File not found', строка $2" \
      "$(drv text Morvane box)"
  fi
  drv press Morvane OK
  drv wait Form_Main 15 >/dev/null || { e2e_log "FAIL: no main window after the report"; e2e_dump; e2e_abort; }
  e2e_expect "caption without $1" "Form_Main" "$(drv text Form_Main)"
  # The window still works: unticking the option hides the cancel button.
  drv click Form_Main Check_Cancel
  e2e_expect "cancel button after unticking" "0 0" \
    "$(drv check Form_Main Check_Cancel \; visible Form_Main Command_Cancel | tr '\n' ' ' | sed 's/ $//')"
  E2E_MAIN=Form_Main e2e_stop
}

check_missing "Справка.txt" 11
check_missing "Лицензионное соглашение.txt" 5
check_missing "Справка.txt" 13 unreadable
e2e_finish

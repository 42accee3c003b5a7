#!/bin/sh
# The help window end to end with a real print queue: a private CUPS server
# whose default printer is a cups-pdf queue.  The main form is disabled while
# the help window is open; "Печать справки" and Enter in the print dialog
# put the prepared help text into a PDF, one page per 5800 characters, as the
# image of the page drawn by the program (read back with OCR); closing the
# window enables the main form again.  Skips (77) when CUPS cannot start.
. "$(dirname "$0")/e2e_lib.sh"

HELP="Morvane - Справка"
CUPS_DIR=$E2E_WORK/cups
CUPS_SH="$(dirname "$0")/cups.sh"

rc=0
sh "$CUPS_SH" start "$CUPS_DIR" || rc=$?
[ $rc -eq 77 ] && exit 77
[ $rc -eq 0 ] || { e2e_log "FAIL: cups.sh start ended with $rc"; exit 1; }
trap 'e2e_kill; sh "$CUPS_SH" stop "$CUPS_DIR"' EXIT INT TERM
export CUPS_SERVER="$CUPS_DIR/cups.sock"

e2e_copy_program
e2e_start
e2e_wait_main

drv click-async "$E2E_MAIN" Command_Help
drv wait "$HELP" 20 >/dev/null || { e2e_log "FAIL: the help window did not open"; e2e_dump; e2e_abort; }
e2e_expect "main window enabled while help is open" 0 "$(drv enabled "$E2E_MAIN")"
e2e_expect "help text box starts with the indented first line" "     MORVANE" \
  "$(drv text "$HELP" 101 | head -n 1 | cut -c 1-12)"

drv press "$HELP" "Печать справки"
drv wait Print 20 >/dev/null || { e2e_log "FAIL: the print dialog did not open"; e2e_dump; e2e_abort; }
# Confirmed with the keyboard: Enter in the focused dialog, as a user would press it.
dialog=$(xdotool search --sync --name '^Print$' | head -n 1)
xdotool windowfocus --sync "$dialog" key Return
drv wait-gone Print 20 || e2e_log "FAIL: the print dialog stayed open"

# The PDF arrives when cups-pdf has finished writing it.
pdf=""
i=0
while [ $i -lt 600 ]; do
  pdf=$(ls "$CUPS_DIR"/pdf/*.pdf 2>/dev/null | head -n 1)
  if [ -n "$pdf" ] && [ -z "$(CUPS_SERVER=$CUPS_SERVER lpstat -o 2>/dev/null)" ]; then break; fi
  i=$((i + 1)); sleep 0.1
done
if [ -z "$pdf" ]; then
  e2e_log "FAIL: no PDF arrived"; cat "$CUPS_DIR"/log/* 2>/dev/null; E2E_FAILURES=$((E2E_FAILURES + 1))
else
  # The prepared text: five spaces before every line, lines joined by CR LF.
  expected_pages=$(python3 - "$E2E_APP/Справка.txt" <<'PY'
import sys, re
text = open(sys.argv[1], 'rb').read().decode('cp1251')
lines = re.split(r'\r\n|\r', text)
if lines and lines[-1] == '':
    lines.pop()
n = len('\r\n'.join('     ' + l for l in lines)) if lines else 0
print(max(1, -(-n // 5800)))
PY
)
  e2e_expect "pages of the PDF" "$expected_pages" "$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')"
  e2e_expect "page images of the PDF" "$expected_pages" "$(pdfimages -list "$pdf" | tail -n +3 | wc -l)"
  pdftoppm -r 300 -gray -png -f 1 -l 1 -x 0 -y 0 -W 2480 -H 600 "$pdf" "$E2E_WORK/page"
  ocr=$(tesseract "$E2E_WORK"/page-*1.png - -l rus 2>/dev/null)
  e2e_log "OCR of the page top: $(printf '%s' "$ocr" | head -n 3 | tr '\n' '|')"
  e2e_expect "first lines of the help read back from the page" "СПРАВКА Назначение" \
    "$(printf '%s' "$ocr" | grep -o -e 'СПРАВКА' -e 'Назначение' | head -n 2 | tr '\n' ' ' | sed 's/ $//')"
fi

drv close "$HELP"
drv wait-gone "$HELP" 10 || e2e_log "FAIL: the help window did not close"
e2e_expect "main window enabled after the help closed" 1 "$(drv enabled "$E2E_MAIN")"

e2e_stop
e2e_finish

#!/bin/sh
# The help window end to end with real print queues: a private CUPS server
# whose default printer is a cups-pdf queue, and a second one with a name
# longer than a device mode holds.  The main form is disabled while the help
# window is open; "Печать справки" opens the print dialog owned by the help
# window, which takes no input (nor a close) while it is open.  The second
# printer and 3 copies chosen there, Enter puts the prepared help text into
# that printer's PDF and none into the default's, one page per 5800
# characters as the image of the page drawn by the program (read back with
# OCR), three times over; closing the window enables the main form again.
# Skips (77) when CUPS cannot start.
. "$(dirname "$0")/e2e_lib.sh"

HELP="Morvane - Справка"
CUPS_DIR=$E2E_WORK/cups
CUPS_SH="$(dirname "$0")/cups.sh"
SECOND=Morvane_Network_Printer_With_A_Long_Name
# Control ids of the system's print dialog: the printer list and the number of copies.
PRINTER_LIST=0x473
COPIES=0x482

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
dialog=$(drv wait Print 20) || { e2e_log "FAIL: the print dialog did not open"; e2e_dump; e2e_abort; }
help=$(drv wait "$HELP" 1)
e2e_expect "the print dialog is owned by the help window" "$help" "$(drv owner "#$dialog")"
e2e_expect "help window disabled while its print dialog is open" 0 "$(drv enabled "#$help")"
# A close request meanwhile would take the printing away from under the dialog.
drv close "#$help"
sleep 1
e2e_expect "help window still open after a close request during the dialog" "$help" "$(drv wait "$HELP" 1)"
e2e_expect "main window still disabled" 0 "$(drv enabled "$E2E_MAIN")"

drv select "#$dialog" $PRINTER_LIST "$SECOND" || e2e_log "FAIL: $SECOND is not in the print dialog's list"
drv set-text "#$dialog" $COPIES 3
# Confirmed with the keyboard: Enter in the focused dialog, as a user would press it.
xdotool windowfocus --sync "$(xdotool search --sync --name '^Print$' | head -n 1)" key Return
drv wait-gone Print 20 || e2e_log "FAIL: the print dialog stayed open"
e2e_expect "help window enabled again after the dialog" 1 "$(drv enabled "#$help")"

# The PDF arrives when cups-pdf has finished writing it.
pdf=""
i=0
while [ $i -lt 600 ]; do
  pdf=$(ls "$CUPS_DIR"/pdf2/*.pdf 2>/dev/null | head -n 1)
  if [ -n "$pdf" ] && [ -z "$(CUPS_SERVER=$CUPS_SERVER lpstat -o 2>/dev/null)" ]; then break; fi
  i=$((i + 1)); sleep 0.1
done
e2e_expect "PDFs of the default printer" 0 "$(ls "$CUPS_DIR"/pdf/*.pdf 2>/dev/null | wc -l)"
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
  # cups-pdf writes one copy of the document whatever the job asks for; the
  # copies travel with the job, as CUPS keeps them (one Get-Job-Attributes).
  e2e_expect "pages of the PDF" "$expected_pages" "$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')"
  e2e_expect "page images of the PDF" "$expected_pages" "$(pdfimages -list "$pdf" | tail -n +3 | wc -l)"
  job=$(CUPS_SERVER=$CUPS_SERVER lpstat -W completed -o "$SECOND" | sed -n "s/^$SECOND-\([0-9]*\) .*/\1/p" | tail -n 1)
  cat >"$E2E_WORK/job.test" <<TEST
{
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri \$uri
  ATTR integer job-id ${job:-0}
  ATTR name requesting-user-name root
  ATTR keyword requested-attributes copies
  DISPLAY copies
}
TEST
  socket=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$(readlink -f "$CUPS_SERVER")")
  e2e_expect "copies of the print job" "copies (integer) = 3" \
    "$(ipptool -t "ipp://$socket/printers/$SECOND" "$E2E_WORK/job.test" | grep -o 'copies (integer) = [0-9]*')"
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

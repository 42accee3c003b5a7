#!/bin/sh
# shipped_files.sh PROGRAM_DIR RESOURCES: Morvane.exe is a static 64-bit GUI
# program, and its documents beside it are the sources in Windows-1251 with CR LF.
set -u
dir=$1; res=$2; failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

headers=$(x86_64-w64-mingw32-objdump -p "$dir/Morvane.exe")
echo "$headers" | grep -q 'file format pei-x86-64' || fail "Morvane.exe is not a 64-bit PE"
echo "$headers" | grep -Eq 'Subsystem[[:space:]]+0*2[[:space:]]' || fail "Morvane.exe is not a GUI program"
dlls=$(echo "$headers" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports: $(echo $dlls)"
for dll in $dlls; do
  case $dll in
    kernel32.dll|ntdll.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|winspool.drv|version.dll|api-ms-win-*) ;;
    *) fail "Morvane.exe needs $dll beside it" ;;
  esac
done

check_document() {
  shipped="$dir/$(basename "$1")"
  [ -f "$shipped" ] || { fail "missing $shipped"; return; }
  if iconv -f WINDOWS-1251 -t UTF-8 "$shipped" | tr -d '\r' | cmp -s - "$1"; then
    echo "ok   $(basename "$1") is the source in Windows-1251"
  else
    fail "$(basename "$1") differs from its source"
  fi
  lines=$(wc -l <"$shipped")
  crlf=$(grep -c "$(printf '\r')\$" "$shipped")
  [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "$(basename "$1"): $crlf of $lines lines end in CR LF"
}
check_document "$res/Лицензионное соглашение.txt"
check_document "$res/windows/Справка.txt"
[ -s "$dir/Значок.ico" ] || fail "missing Значок.ico beside Morvane.exe"

[ $failures -eq 0 ] && echo "all checks passed"
[ $failures -eq 0 ]

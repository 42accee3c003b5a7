#!/bin/sh
# windows-document.sh SOURCE TARGET: a UTF-8 text as the Windows program ships
# it, in Windows-1251 with CR LF line ends.
set -eu
tmp="$2.tmp"
sed 's/\r$//; s/$/\r/' "$1" | iconv -f UTF-8 -t WINDOWS-1251 >"$tmp"
mv "$tmp" "$2"

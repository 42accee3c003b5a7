#!/usr/bin/env bash
# On-demand benchmark of Morvane.exe's help window under Wine: the time from the
# click on "Справка" until the help window is visible, for help files of the same
# size in one line and in lines of 80 characters ending in CR LF (the reference:
# the text box's own cost for that much text), rounds taking turns.
#
#   bash bench/windows_document_open.sh [WINDOWS_BUILD_DIR] [CHARS] [ROUNDS] [TIMEOUT_S]
# WINDOWS_BUILD_DIR defaults to build/windows-build, CHARS to 2400000, ROUNDS to 3,
# TIMEOUT_S (a window that does not open counts as that) to 300.
# MORVANE_BENCH_DISPLAY (default :96) is the private X display it starts.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows-build}
chars=${2:-2400000}
rounds=${3:-3}
limit=${4:-300}
display=${MORVANE_BENCH_DISPLAY:-:96}
exe=$build/windows/Morvane.exe
driver=$build/tests/windows/Test_Driver.exe
[ -f "$exe" ] && [ -f "$driver" ] || { echo "build the Windows program and its tests first ($build)"; exit 1; }
work=$(mktemp -d /tmp/morvane-bench-doc.XXXXXX)
export WINEPREFIX=$work/prefix DISPLAY=$display WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
sh "$root/tests/xvfb.sh" start "$display" >/dev/null
trap 'wineserver -k 2>/dev/null; sh "$root/tests/xvfb.sh" stop "$display" >/dev/null; rm -rf "$work"' EXIT
wineboot -i >/dev/null 2>&1; wineserver -w
app=$work/app; mkdir -p "$app"
cp "$exe" "$build/windows/Лицензионное соглашение.txt" "$build/windows/Значок.ico" "$app/"
drv() { wine "$driver" "$@" 2>/dev/null; }

# open_time EVERY: seconds to open the help window of CHARS characters in lines of EVERY (0: one line).
open_time() {
  python3 - "$chars" "$app/Справка.txt" "$1" <<'PY'
import sys
n, path, every = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
words = 'lorem ipsum dolor sit amet consectetur adipiscing elit '
text = (words * (n // len(words) + 1))[:n]
if every:
    text = '\r\n'.join(text[i:i + every] for i in range(0, len(text), every))
open(path, 'wb').write(text.encode('cp1251'))
PY
  (cd "$app" && exec wine ./Morvane.exe >/dev/null 2>&1) & local pid=$!
  drv wait "Morvane v.1.2" 60 >/dev/null
  local t0; t0=$(date +%s.%N)
  drv click-async "Morvane v.1.2" Command_Help
  if drv wait "Morvane - Справка" "$limit" >/dev/null; then echo "$(date +%s.%N) - $t0" | bc
  else echo ">$limit"; fi
  kill "$pid" 2>/dev/null; wineserver -k 2>/dev/null; wait "$pid" 2>/dev/null
}

for r in $(seq "$rounds"); do
  echo "round $r: $chars characters in one line $(open_time 0) s, in lines of 80: $(open_time 80) s"
done

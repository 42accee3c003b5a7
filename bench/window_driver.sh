# Sourced by the benchmarks: drives the real window (morvane_qt on $DISPLAY) through runs on the
# volume mounted at $point, as a user would: the partition picked, Start, Yes.
#   window_start    starts $program, finds its window and picks the partition (sets window_pid)
#   window_ask      presses Start and moves onto Yes in the confirmation box (not timed)
#   window_fill     says Yes and waits until the scratch folder is gone and the volume committed
# The window lists the df lines that name a /dev/ device, in df's order, after its prompt entry.
entry_index() {
  df | awk -v p="$point" 'NR > 1 && /\/dev\// { n++; if (substr($0, length($0) - length(p) + 1) == p) { print n; exit } }'
}
# Starts the window (not timed: a user starts it once), picks the partition.
window_start() {
  "$program" >/dev/null 2>&1 &
  window_pid=$!
  window=
  for i in $(seq 300); do
    window=$(xdotool search --pid "$window_pid" --name '^Morvane v\.1\.2$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break; sleep 0.1
  done
  [ -n "$window" ] || { echo "no window"; exit 1; }
  local n; n=$(entry_index)
  [ -n "$n" ] || { echo "the partition list has no entry for $point"; exit 1; }
  xdotool windowfocus --sync "$window"; sleep 0.5
  # The partition list sits at (300, 119) of the window: open it, walk down to the entry.
  xdotool mousemove --window "$window" 300 119 click 1; sleep 0.5
  xdotool key Home; for i in $(seq "$n"); do xdotool key Down; done; xdotool key Return; sleep 0.3
}
# Start, then the confirmation box: not timed, dd asks no question.
window_ask() {
  xdotool mousemove --window "$window" 300 22 click 1
  local box=
  for i in $(seq 200); do
    box=$(xdotool search --pid "$window_pid" --onlyvisible --name '' 2>/dev/null | grep -vx "$window" | tail -n 1 || true)
    [ -n "$box" ] && break; sleep 0.02
  done
  sleep 0.2
  # Onto Yes (No is the default button). Its mnemonic would work too, but a mnemonic shows the
  # button pressed for 100 ms before it acts, which a click does not.
  xdotool key shift+Tab; sleep 0.1
}
# The run from the Yes until the scratch folder is gone and the volume committed.
window_fill() {
  xdotool key space
  for i in $(seq 500); do [ -d "$point/Delete_Zero" ] && break; sleep 0.01; done
  [ -d "$point/Delete_Zero" ] || { echo "the run did not start" >&2; exit 1; }
  while [ -d "$point/Delete_Zero" ]; do sleep 0.01; done
  sync -f "$point"
}

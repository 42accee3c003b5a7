# x_window.sh -- sourced by the end-to-end tests of morvane_qt.
#   x_wait_window TITLE_REGEX    prints the first window on $DISPLAY whose title matches, waiting up
#                                to 30 s; prints nothing when none appeared
#   x_wait_display               waits up to 30 s until $DISPLAY answers; fails when it never does
x_wait_display() {
  for _ in $(seq 300); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "FAIL: X display $DISPLAY does not answer"
  return 1
}
x_wait_window() {
  for _ in $(seq 300); do
    xdotool search --name "$1" 2>/dev/null | head -n 1 | grep . && return 0
    sleep 0.1
  done
  return 1
}

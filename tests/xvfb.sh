#!/bin/sh
# xvfb.sh start|stop :N -- a private X server for the GUI tests.
set -eu
cmd=$1; display=$2; n=${display#:}
pidfile=/tmp/morvane-xvfb-$n.pid
case "$cmd" in
start)
  # A pid file left by an earlier run may name a process that is no X server any more.
  if [ -f "$pidfile" ] && [ "$(cat "/proc/$(cat "$pidfile")/comm" 2>/dev/null)" = Xvfb ]; then exit 0; fi
  rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
  # Without -noreset the server resets each time its last client leaves, and drops a client that
  # is still connecting then: the program started right after a readiness probe saw "could not
  # connect to display".
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 </dev/null &
  server=$!
  echo $server >"$pidfile"
  i=0
  # Answered by the server started here, not by one that is still going away.
  while ! { kill -0 $server 2>/dev/null && xdpyinfo -display "$display" >/dev/null 2>&1; }; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "Xvfb $display did not start"; exit 1; }
    sleep 0.1
  done
  echo "Xvfb running on $display" ;;
stop)
  # Gone for good before the next start, which would otherwise meet a server still going away.
  if [ -f "$pidfile" ] && server=$(cat "$pidfile") && kill "$server" 2>/dev/null; then
    i=0
    while kill -0 "$server" 2>/dev/null && [ $i -lt 50 ]; do i=$((i + 1)); sleep 0.1; done
    kill -9 "$server" 2>/dev/null || true
  fi
  rm -f "$pidfile" ;;
esac

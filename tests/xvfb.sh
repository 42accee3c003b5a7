#!/bin/sh
# xvfb.sh start|stop :N -- a private X server for the GUI tests.
set -eu
cmd=$1; display=$2; n=${display#:}
pidfile=/tmp/morvane-xvfb-$n.pid
case "$cmd" in
start)
  if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then exit 0; fi
  rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  echo $! >"$pidfile"
  i=0
  while ! xdpyinfo -display "$display" >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "Xvfb $display did not start"; exit 1; }
    sleep 0.1
  done
  echo "Xvfb running on $display" ;;
stop)
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  rm -f "$pidfile" ;;
esac

# Sourced by the benchmarks: the peak of "Dirty" in /proc/meminfo while a fill runs, to show how
# much of the page cache it floods. Dirty is machine-wide: other programs writing meanwhile count too,
# unless dirty_cgroup names a cgroup v1 memory folder holding the benchmark: then only its own do.
#   dirty_watch_start            starts sampling (in the shell that later stops it)
#   dirty_watch_stop             stops it and prints the peak in MiB
dirty_kib() {
  if [ -n "${dirty_cgroup:-}" ]; then awk '/^dirty / { print int($2 / 1024) }' "$dirty_cgroup/memory.stat"
  else awk '/^Dirty:/ { print $2 }' /proc/meminfo; fi
}
dirty_watch_start() {
  dirty_peak_file=$(mktemp); echo 0 >"$dirty_peak_file"
  ( peak=0; while :; do
      d=$(dirty_kib); [ "$d" -gt "$peak" ] && peak=$d && echo "$peak" >"$dirty_peak_file"
      sleep 0.05; done ) >/dev/null &
  dirty_sampler=$!
}
dirty_watch_stop() {
  kill "$dirty_sampler"; wait "$dirty_sampler" 2>/dev/null || true
  echo $(( $(cat "$dirty_peak_file" 2>/dev/null || echo 0) / 1024 ))
  rm -f "$dirty_peak_file"
}

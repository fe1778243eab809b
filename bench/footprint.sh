#!/usr/bin/env bash
# The watchdog's footprint, measured beside what it is compared with, all in one run:
#   - with BrassOwlet's window present among a crowd of other windows, for a minute:
#     the watchdog, the smallest possible X client, a bare loop doing one presence
#     scan per second, and supervisord and runit's runsv each keeping a `sleep` alive;
#   - then, alone, with every launch failing (no BrassOwlet.exe), for ten minutes:
#     the watchdog, among the same crowd.
# Each process is sampled after a short warm-up and at the end: resident memory
# (VmRSS, VmHWM), CPU time (schedstat, in nanoseconds), open descriptors. A second
# watchdog, preloaded with the allocation counter, counts heap allocations and times
# each cycle's work.
#
# usage: bench/footprint.sh BUILD_DIR OUTPUT_DIR
# environment: FOOTPRINT_SECONDS (60), FAILING_SECONDS (600), CROWD_WINDOWS (100)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
output=$(mkdir -p "$2" && cd "$2" && pwd)
seconds=${FOOTPRINT_SECONDS:-60}
failing_seconds=${FAILING_SECONDS:-600}
windows=${CROWD_WINDOWS:-100}
warm_up=3

source "$here/../scripts/xvfb.sh"
work=$(mktemp -d)
processes=()
cleanup() {
  [ ${#processes[@]} -eq 0 ] || kill "${processes[@]}" 2>/dev/null || true
  end_xvfbs
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# "rss_kib hwm_kib cpu_ns descriptors pss_kib" of a running process. Pss shares
# each page of a library among the processes that map it.
sample() {
  local pid=$1
  awk '/^VmRSS:/ { rss = $2 } /^VmHWM:/ { hwm = $2 } END { printf "%s %s", rss, hwm }' \
    "/proc/$pid/status"
  printf ' %s %s %s\n' "$(cut -d' ' -f1 "/proc/$pid/schedstat")" "$(ls "/proc/$pid/fd" | wc -l)" \
    "$(awk '/^Pss:/ { print $2 }' "/proc/$pid/smaps_rollup")"
}

# Starts a command in the background in a directory; its pid is in started.
start_in() {
  local directory=$1
  shift
  (cd "$directory" && exec "$@" >/dev/null 2>&1) &
  started=$!
  processes+=("$started")
}

# window_crowd COUNT [--with-watched] on the display in DISPLAY, ready when it returns.
crowd_of() {
  local ready
  ready=$(mktemp -p "$work")
  "$build/window_crowd" "$@" >"$ready" &
  processes+=($!)
  until grep -q ready "$ready" 2>/dev/null; do sleep 0.1; done
}

# A server of its own among a crowd of windows, for each process that asks it once a
# second, so that none of them finds it woken by another: how long a round trip
# takes depends on that.
crowded_server() {
  start_xvfb
  export DISPLAY=$xvfb_display
  crowd_of "$windows"
}

# The present run. The watchdog starts BrassOwlet itself on its first cycle; the
# smallest X client and the supervisors need no server of their own.
mkdir -p "$work/watchdog" "$work/counted" "$work/runsv/sleep"
crowded_server
cp "$build/BrassOwlet.exe" "$work/watchdog/"
(cd "$work/watchdog" && exec "$build/BrassOwletMonitor" >output.txt) &
processes+=($!)
declare -A pids=([watchdog]=$!)
until grep -q "Starting BrassOwlet" "$work/watchdog/BrassOwletMonitor Log.txt" 2>/dev/null; do
  sleep 0.1
done
start_in "$work" "$build/bare_x_client" && pids[bare_x_client]=$started
# The others find a window of the watched class that the crowd holds.
crowded_server
crowd_of 1 --with-watched
start_in "$work" "$build/scan_loop" && pids[scan_loop]=$started
crowded_server
crowd_of 1 --with-watched
BRASSOWLET_ALLOCATION_REPORT="$work/present.cycles" \
  LD_PRELOAD="$build/bench/liballocation_counter.so" \
  start_in "$work/counted" "$build/BrassOwletMonitor"
cat >"$work/supervisord.conf" <<CONF
[supervisord]
nodaemon=true
logfile=$work/supervisord.log
pidfile=$work/supervisord.pid
childlogdir=$work
[program:sleep]
command=sleep infinity
CONF
start_in "$work" supervisord -c "$work/supervisord.conf" && pids[supervisord]=$started
printf '#!/bin/sh\nexec sleep infinity\n' >"$work/runsv/sleep/run"
chmod +x "$work/runsv/sleep/run"
start_in "$work" runsv "$work/runsv/sleep" && pids[runsv]=$started

sleep "$warm_up"
declare -A first
for name in "${!pids[@]}"; do first[$name]=$(sample "${pids[$name]}"); done
sleep "$seconds"

# name rss_kib hwm_kib cpu_ms_per_minute descriptors_at_start descriptors_at_end pss_kib
{
  for name in watchdog bare_x_client scan_loop supervisord runsv; do
    read -r _ _ cpu_start fds_start _ <<<"${first[$name]}"
    read -r rss hwm cpu_end fds_end pss <<<"$(sample "${pids[$name]}")"
    cpu_per_minute=$(awk -v ns=$((cpu_end - cpu_start)) -v s="$seconds" \
      'BEGIN { printf "%.1f", ns * 60 / s / 1000000 }')
    echo "$name $rss $hwm $cpu_per_minute $fds_start $fds_end $pss"
  done
} >"$output/footprint.txt"
starts=$(grep -c "Starting BrassOwlet" "$work/watchdog/BrassOwletMonitor Log.txt")

# The median and the largest of a column of numbers.
median_and_max() {
  sort -n | awk '{ value[NR] = $1 } END { print value[int((NR + 1) / 2)], value[NR] }'
}

# Allocations per cycle by whose code, and each cycle's work without the launch:
# cycles own libxcb other work_median_us work_max_us launch_median_us launch_max_us
cycle_summary() {
  local cycles
  cycles=$(tail -n +3 "$1")  # the first pauses come before the cycles are steady
  awk '{ own += $1; xcb += $2; other += $3 }
       END { printf "%d %.2f %.2f %.2f ", NR, own / NR, xcb / NR, other / NR }' <<<"$cycles"
  echo "$(awk '{ print $4 - $5 }' <<<"$cycles" | median_and_max)" \
    "$(awk '{ print $5 }' <<<"$cycles" | median_and_max)"
}
echo "present $(cycle_summary "$work/present.cycles")" >"$output/cycles.txt"

# Everything of the present run ends before the failing run starts, alone.
kill "${processes[@]}" 2>/dev/null || true
processes=()
end_xvfbs  # and with its server, the BrassOwlet that the watchdog started
xvfb_processes=()
echo "Present run done; the failing run takes $failing_seconds s."
crowded_server
mkdir -p "$work/failing"
BRASSOWLET_ALLOCATION_REPORT="$work/failing.cycles" \
  LD_PRELOAD="$build/bench/liballocation_counter.so" \
  start_in "$work/failing" "$build/BrassOwletMonitor"
failing_pid=$started

# Resident memory every ten seconds: a one-time step while the heap settles is not
# growth; constant means the same from the first minute to the end.
sleep "$warm_up"
read -r rss_start _ _ fds_start _ <<<"$(sample "$failing_pid")"
: >"$output/failing-rss.txt"
for ((elapsed = warm_up; elapsed < failing_seconds; elapsed += 10)); do
  sleep 10
  read -r rss _ <<<"$(sample "$failing_pid")"
  echo "$((elapsed + 10)) $rss" >>"$output/failing-rss.txt"
done
rss_minute=$(awk '$1 >= 60 { print $2; exit }' "$output/failing-rss.txt")
read -r rss_end hwm _ fds_end _ <<<"$(sample "$failing_pid")"
echo "failing $(cycle_summary "$work/failing.cycles")" >>"$output/cycles.txt"
failures=$(grep -c "Unable to launch" "$work/failing/BrassOwletMonitor Log.txt")
# rss_start rss_at_one_minute rss_end hwm fds_start fds_end failures
echo "$rss_start ${rss_minute:-$rss_end} $rss_end $hwm $fds_start $fds_end $failures" \
  >"$output/failing.txt"
echo "$windows $seconds $failing_seconds $starts" >"$output/settings.txt"

echo "name rss_kib hwm_kib cpu_ms_per_min fds_start fds_end pss_kib"
cat "$output/footprint.txt"
echo "run cycles own/cycle libxcb/cycle other/cycle work_median_us work_max_us launch_median_us launch_max_us"
cat "$output/cycles.txt"
echo "failing: rss_start rss_at_one_minute rss_end hwm fds_start fds_end failures"
cat "$output/failing.txt"

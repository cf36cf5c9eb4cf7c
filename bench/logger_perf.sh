#!/usr/bin/env bash
# The real logger's cost per poll and its memory, against vornix7-sim on
# 127.0.0.1 serving a 2 KB page, plus the fetch latency with the real Qt
# transfer control.
#
# Usage: bench/logger_perf.sh [--seconds S] [--fetches N]
#   --seconds S  length of each of the two logger runs (default 60, 5..3600)
#   --fetches N  fetches per pass of vornix7-fetch-latency (default 200, 1..10000)
#   BUILD_DIR    build folder (default: build); configured and built if needed
#
# The logger has no command line, so it polls on its own one-second tick:
# with PollInterval=0 that is one poll per second. Its CPU time includes Qt's
# start-up and the idle ticks, so a second run that never polls (a huge
# PollInterval) is measured for the same time and subtracted: what is left
# is the cost of the polls alone. Exit status 1 if a limit is exceeded.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
seconds=60
fetches=200
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --fetches) fetches=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds S] [--fetches N]" >&2; exit 2 ;;
    esac
done
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 5 || seconds > 3600)); then
    echo "--seconds: 5..3600" >&2; exit 2
fi
if ! [[ $fetches =~ ^[0-9]+$ ]] || ((fetches < 1 || fetches > 10000)); then
    echo "--fetches: 1..10000" >&2; exit 2
fi

# Goals: CPU per poll of a 2 KB page (net) under 0.3 ms and never above
# 1 ms; resident memory under 30 MB.
readonly goal_cpu_ms=0.3 limit_cpu_ms=1.0 limit_rss_kib=$((30 * 1024))

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target VORNIX7_Logger vornix7-sim vornix7-fetch-latency >/dev/null
logger=$build/src/shell/VORNIX7_Logger
sim=$build/tools/sim/vornix7-sim
latency=$build/bench/vornix7-fetch-latency
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")

work=$(mktemp -d "${TMPDIR:-/tmp}/vornix7-perf.XXXXXX")
# Only processes still running are listed, so no reused id is ever hit.
sim_pid=''
logger_pid=''
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    for pid in $logger_pid $sim_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The device: normal readings, padded with blanks to exactly 2048 bytes.
# It stops by itself even if this script is killed without its trap.
"$sim" --sensors 8 --name "Perf Bench" --mode size --body-bytes 2048 --quiet \
    --max-seconds $((2 * seconds + 300)) >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "vornix7-sim did not start: $(cat "$work/sim.out")" >&2; exit 1; }
url=http://127.0.0.1:$port/
page_bytes=$(curl -s --max-time 5 -o /dev/null -w '%{size_download}' "$url")

# CPU time of all the process's threads in nanoseconds (schedstat), for a
# finer figure than /proc/PID/stat's 10 ms ticks. Threads that already ended
# are missing here but not in /proc/PID/stat.
thread_cpu_ns() {
    cat "/proc/$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%d", sum }'
}

# Runs a copy of the logger for $seconds and sets run_* from what it used.
run_logger() {
    local name=$1 interval=$2 dir="$work/$1"
    mkdir "$dir"
    cp "$logger" "$dir/"
    printf '[Settings]\nPollInterval=%s\nHTMLTimeout=1\nUseLogFile=1\nLastSensor=7\nStartMinimized=0\n[VORNIX7]\nURL=%s\nLogfileName=%s\n' \
        "$interval" "$url" "$dir/log.txt" >"$dir/VORNIX7_Logger.ini"
    (cd "$dir" && QT_QPA_PLATFORM=offscreen exec ./VORNIX7_Logger) 2>"$dir/stderr.txt" &
    logger_pid=$!
    local pid=$logger_pid
    sleep "$seconds"
    kill -0 "$pid" 2>/dev/null || { echo "$name: the logger ended early: $(cat "$dir/stderr.txt")" >&2; exit 1; }
    # Fields after the command name, which is in parentheses: utime and
    # stime are fields 14 and 15 of the whole line.
    local stat
    stat=$(sed 's/^.*) //' "/proc/$pid/stat")
    run_ticks=$(awk '{ print $12 + $13 }' <<<"$stat")
    run_user_ticks=$(awk '{ print $12 }' <<<"$stat")
    run_ns=$(thread_cpu_ns "$pid")
    run_rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
    run_hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    kill -TERM "$pid"
    wait "$pid" || true
    logger_pid=
    run_polls=0 run_errors=0
    if [ -f "$dir/log.txt" ]; then
        run_polls=$(grep -c '' "$dir/log.txt" || true)
        run_errors=$(grep -c ',ERROR' "$dir/log.txt" || true)
    fi
}

echo "logger: $logger ($build_type), page: $page_bytes bytes from $url, $seconds s per run"
run_logger polling 0
read -r poll_ticks poll_user poll_ns poll_rss poll_hwm polls errors \
    <<<"$run_ticks $run_user_ticks $run_ns $run_rss $run_hwm $run_polls $run_errors"
run_logger idle 100000000
read -r idle_ticks idle_user idle_ns idle_rss idle_hwm idle_polls \
    <<<"$run_ticks $run_user_ticks $run_ns $run_rss $run_hwm $run_polls"

hz=$(getconf CLK_TCK)
awk -v hz="$hz" -v pt="$poll_ticks" -v it="$idle_ticks" -v pu="$poll_user" -v iu="$idle_user" -v pn="$poll_ns" -v in_="$idle_ns" \
    -v polls="$polls" -v errors="$errors" -v idle_polls="$idle_polls" \
    -v rss="$poll_rss" -v hwm="$poll_hwm" -v irss="$idle_rss" -v ihwm="$idle_hwm" '
BEGIN {
    tick = 1000 / hz
    printf "polls: %d (%d ERROR); idle run: %d polls\n", polls, errors, idle_polls
    printf "CPU, /proc/PID/stat:   polling %.0f ms (user %.0f, system %.0f), idle %.0f ms (user %.0f, system %.0f); %.0f ms ticks\n",
        pt * tick, pu * tick, (pt - pu) * tick, it * tick, iu * tick, (it - iu) * tick, tick
    printf "CPU, thread schedstat: polling %.1f ms, idle %.1f ms\n", pn / 1e6, in_ / 1e6
    if (polls > 0) {
        printf "CPU per poll, stat:      raw %.3f ms, net %.3f ms (+-%.3f from the ticks)\n",
            pt * tick / polls, (pt - it) * tick / polls, 2 * tick / polls
        printf "CPU per poll, schedstat: raw %.3f ms, net %.3f ms\n", pn / 1e6 / polls, (pn - in_) / 1e6 / polls
    }
    printf "memory: VmRSS %.1f MB, VmHWM %.1f MB (idle run: %.1f / %.1f MB)\n",
        rss / 1024, hwm / 1024, irss / 1024, ihwm / 1024
}'
net_ms=$(awk -v pn="$poll_ns" -v in_="$idle_ns" -v polls="$polls" 'BEGIN { printf "%.3f", polls ? (pn - in_) / 1e6 / polls : 999 }')

echo
echo "fetch latency, real Qt transfer control, $fetches fetches per pass:"
"$latency" "$url" "$fetches" || echo "some fetches came back without a page"

echo
status=0
verdict() { # name value goal limit unit
    if awk -v v="$2" -v l="$4" 'BEGIN { exit !(v > l) }'; then
        echo "$1: $2 $5 - ABOVE THE LIMIT of $4 $5"; status=1
    elif awk -v v="$2" -v g="$3" 'BEGIN { exit !(v > g) }'; then
        echo "$1: $2 $5 - above the goal of $3 $5"
    else
        echo "$1: $2 $5 - within the goal of $3 $5"
    fi
}
verdict "net CPU per poll" "$net_ms" "$goal_cpu_ms" "$limit_cpu_ms" ms
verdict "peak resident memory (VmHWM)" "$poll_hwm" "$limit_rss_kib" "$limit_rss_kib" KiB
if [ "$polls" -eq 0 ] || [ "$errors" -ne 0 ]; then
    echo "polls failed: $errors of $polls"; status=1
fi
exit $status

#!/usr/bin/env bash
# Where the real logger's instructions go per poll, under callgrind (user
# space only, but exact and repeatable), against vornix7-sim on 127.0.0.1
# serving the 2 KB page of logger_perf.sh. Start-up is left out: counting
# is zeroed after a warm-up and dumped after the measured window.
#
# Usage: bench/logger_callgrind.sh [--seconds S] [--keep DIR] [--program P]
#   --seconds S  measured window (default 40, 10..600); about 1 poll a second
#   --keep DIR   leave the callgrind output in DIR (for callgrind_annotate)
#   --program P  the logger measured (default: BUILD_DIR's window program;
#                e.g. a vornix7-logger-headless, of this or another build)
#   BUILD_DIR    build folder (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
seconds=40
keep=
program=
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds S] [--keep DIR] [--program P]" >&2; exit 2 ;;
    esac
done
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 10 || seconds > 600)); then
    echo "--seconds: 10..600" >&2; exit 2
fi
readonly warmup_seconds=15 # valgrind starts Qt slowly
cmake --build "$build" --target VORNIX7_Logger vornix7-sim >/dev/null
program=${program:-$build/src/shell/qt/VORNIX7_Logger}

# shellcheck source=bench/bench_device.sh
. "$root/bench/bench_device.sh"
bench_start "$build/tools/sim/vornix7-sim" callgrind $((seconds + warmup_seconds + 120))

cp "$program" "$work/"
write_settings "$work/VORNIX7_Logger.ini" PollInterval=0 HTMLTimeout=1 UseLogFile=1 \
        LastSensor=7 StartMinimized=0 "URL=$url" "LogfileName=$work/log.txt"
(cd "$work" && QT_QPA_PLATFORM=offscreen exec valgrind --tool=callgrind \
    --callgrind-out-file="$work/callgrind.out" "./$(basename "$program")") 2>"$work/valgrind.txt" &
pid_of[logger]=$!
lines() { grep -c '' "$work/log.txt" 2>/dev/null || echo 0; }
sleep "$warmup_seconds"
callgrind_control --zero "${pid_of[logger]}" >/dev/null 2>&1
first=$(lines)
sleep "$seconds"
callgrind_control --dump "${pid_of[logger]}" >/dev/null 2>&1
polls=$(($(lines) - first))
kill -TERM "${pid_of[logger]}"
wait "${pid_of[logger]}" || true
unset 'pid_of[logger]'
((polls > 0)) || { echo "no polls in the window" >&2; exit 1; }

dumps=("$work"/callgrind.out.*)
dump=${dumps[0]}
[ -z "$keep" ] || { mkdir -p "$keep" && cp "$dump" "$keep/"; }
echo "$polls polls in $seconds s; instructions per poll (inclusive):"
# Inclusive counts of the poll's phases, each once (the first, outermost
# line callgrind_annotate prints for it).
callgrind_annotate --inclusive=yes --threshold=100 "$dump" 2>/dev/null | awk -v polls="$polls" '
/PROGRAM TOTALS/ { gsub(",", "", $1); printf "  %-46s %9.1f k\n", "everything (poll and idle ticks)", $1 / polls / 1000 }
{
    n = $1; gsub(",", "", n)
    if (n !~ /^[0-9]+$/) next
    for (i = 1; i <= count; i++) if (!(names[i] in seen) && $0 ~ pats[i]) {
        seen[names[i]] = n
    }
}
END { for (i = 1; i <= count; i++) printf "  %-46s %9.1f k\n", names[i], seen[names[i]] / polls / 1000 }
BEGIN {
    count = split("PollSchedule::PollTick[(][)];:vornix7::PageFetcher::FetchDevicePage;:vornix7::[A-Za-z]*Window::PumpEvents[(][)];" \
        "QWidgetRepaintManager::paintAndFlush[(][)];:vornix7::[A-Za-z]*Window::SetStatus;:vornix7::[A-Za-z]*TransferControl::Execute[(];" \
        ":vornix7::[A-Za-z]*TransferControl::StillExecuting[(];:vornix7::[A-Za-z]*TransferControl::Cancel[(];" \
        "PollResultStore::StorePollResult;:vornix7::ExtractTagValue;:vornix7::FormatLogLine;:vornix7::Log[A-Za-z]*::Append[(]", pats, ";")
    split("poll (PollTick);  fetch;    pumping events (all);      painting;    status text;    transfer: Execute;" \
        "    transfer: StillExecuting;    transfer: Cancel;  results;    tag scan;    line format;    log append", names, ";")
}'

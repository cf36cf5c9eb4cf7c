#!/usr/bin/env bash
# The README's picture of vornix7-report: the device simulator on
# 127.0.0.1, the logger polling it every second for a bounded time while the
# device goes offline twice (refusing, then not answering), then the report
# of that log and headless Chromium's screenshot of it.
#   scripts/report-screenshot.sh [OUT.png]   default docs/vornix7-report.png
#   BUILD_DIR  a build folder with VORNIX7_Logger, vornix7-sim and vornix7-report
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
build=${BUILD_DIR:-$root/build}
out=${1:-$root/docs/vornix7-report.png}
for program in src/shell/qt/VORNIX7_Logger tools/sim/vornix7-sim tools/report/vornix7-report; do
  [ -x "$build/$program" ] || { echo "$build/$program is not built" >&2; exit 1; }
done
command -v chromium >/dev/null || { echo "chromium is not installed (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d /tmp/vornix7-report-shot.XXXXXX)
sim_pid="" logger_pid=""
cleanup() {
  for pid in $logger_pid $sim_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The device's mode is read from this file before each request.
echo normal >"$work/mode"
start_sim "$build/tools/sim/vornix7-sim" "$work" --sensors 4 --name "Lab North" --seed 7 \
  --control "$work/mode" --max-seconds 300
cp "$build/src/shell/qt/VORNIX7_Logger" "$work/"
write_settings "$work/VORNIX7_Logger.ini" PollInterval=1 HTMLTimeout=1 UseLogFile=1 LastSensor=3 \
  "URL=$sim_url" "LogfileName=$work/logfile.txt"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./VORNIX7_Logger 2>/dev/null) &
logger_pid=$!

# 100 s in all: online, refused for 12 s, online, silent for 15 s, online.
for step in "normal 30" "close 12" "normal 25" "silent 15" "normal 18"; do
  set -- $step
  echo "$1" >"$work/mode"
  echo "device: $1 for $2 s"
  sleep "$2"
done
kill -TERM "$logger_pid"
wait "$logger_pid" || true
logger_pid=""

"$build/tools/report/vornix7-report" "$work/logfile.txt" -o "$work/report.html"
profile=$(mktemp -d "$work/profile.XXXXXX")
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$profile" \
  --virtual-time-budget=10000 --hide-scrollbars --window-size=1000,1500 --screenshot="$out" \
  "file://$work/report.html" 2>/dev/null
echo "wrote $out"

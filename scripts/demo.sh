#!/usr/bin/env bash
# Installs what is missing, builds, and runs the logger against the device
# simulator on 127.0.0.1, showing the log lines as they are appended.
# Ctrl-C stops both. A real window opens when a display is there; without
# one the logger runs headless.
#   scripts/demo.sh [--seconds N]   stop by itself after N seconds
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
build=${BUILD_DIR:-$root/build}
seconds=0
if [ "${1:-}" = "--seconds" ]; then seconds=${2:?--seconds needs a number}; fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target VORNIX7_Logger vornix7-sim

demo=$(mktemp -d /tmp/vornix7-demo.XXXXXX)
sim_pid="" logger_pid="" tail_pid=""
cleanup() {
  for pid in $logger_pid $sim_pid $tail_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  echo "Demo folder with settings and log: $demo"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# The simulated device, on loopback only, on a free port it prints; the
# logger reads its settings from beside its executable.
start_sim "$build/tools/sim/vornix7-sim" "$demo"
cp "$build/src/shell/qt/VORNIX7_Logger" "$demo/"
write_settings "$demo/VORNIX7_Logger.ini" PollInterval=2 HTMLTimeout=1 StartMinimized=0 UseLogFile=1 LastSensor=7 \
  "URL=$sim_url" "LogfileName=$demo/logfile.txt"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  echo "No display: the logger runs headless."
fi
echo "Device simulator on 127.0.0.1:$sim_port; log: $demo/logfile.txt (Ctrl-C stops)"
(cd "$demo" && exec ./VORNIX7_Logger) &
logger_pid=$!
touch "$demo/logfile.txt"
tail -n +1 -F "$demo/logfile.txt" 2>/dev/null &
tail_pid=$!

if [ "$seconds" -gt 0 ]; then
  ( sleep "$seconds"; kill -TERM "$logger_pid" 2>/dev/null ) &
fi
status=0
wait "$logger_pid" || status=$?
logger_pid=""
exit "$status"

#!/usr/bin/env bash
# Installs what is missing, builds, and runs the logger against the device
# simulator on 127.0.0.1, showing the log lines as they are appended.
# Ctrl-C stops both. A real window opens when a display is there; without
# one the logger runs headless.
#   scripts/demo.sh [--seconds N]   stop by itself after N seconds
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
seconds=0
if [ "${1:-}" = "--seconds" ]; then seconds=${2:?--seconds needs a number}; fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target VORNIX7_Logger vornix7-sim

demo=$(mktemp -d /tmp/vornix7-demo.XXXXXX)
sim_pid=""
logger_pid=""
tail_pid=""
cleanup() {
  for pid in $logger_pid $sim_pid $tail_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  echo "Demo folder with settings and log: $demo"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# The simulated device, on loopback only, on a free port it prints.
"$build/tools/sim/vornix7-sim" --port 0 --quiet >"$demo/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$demo/sim.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$demo/sim.out")
[ -n "$port" ] || { echo "the simulator did not start" >&2; exit 1; }

# The logger reads its settings from beside its executable.
cp "$build/src/shell/qt/VORNIX7_Logger" "$demo/"
cat >"$demo/VORNIX7_Logger.ini" <<INI
[Settings]
PollInterval=2
HTMLTimeout=1
StartMinimized=0
UseLogFile=1
LastSensor=7
[VORNIX7]
URL=http://127.0.0.1:$port/
LogfileName=$demo/logfile.txt
INI

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  echo "No display: the logger runs headless."
fi
echo "Device simulator on 127.0.0.1:$port; log: $demo/logfile.txt (Ctrl-C stops)"
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

#!/usr/bin/env bash
# Renders the real logger window under Xvfb, with openbox drawing the
# caption, at each status it shows (empty before the first poll,
# "Downloading...", "OFFLINE", "ONLINE") against vornix7-sim on 127.0.0.1,
# and saves one PNG per status.
#   scripts/screenshots.sh [OUT_DIR]   default: build/screenshots
#   BUILD_DIR   build folder (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
build=${BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}
for tool in Xvfb openbox import; do
  command -v "$tool" >/dev/null || { echo "$tool not found (xvfb, openbox, imagemagick)" >&2; exit 1; }
done
cmake --build "$build" --target VORNIX7_Logger vornix7-sim >/dev/null
mkdir -p "$out"

work=$(mktemp -d /tmp/vornix7-shots.XXXXXX)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 20 s for a command to succeed.
wait_for() { wait_until 20 "$@" || { echo "timed out waiting for: $*" >&2; exit 1; }; }

# A screen just larger than the window with its frame; Xvfb picks a free
# display number and writes it to the descriptor.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 320x120x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for test -s "$work/display"
DISPLAY=":$(cat "$work/display")"
export DISPLAY
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

# The device starts silent, so the first poll stays "Downloading..." until
# it times out and gives "OFFLINE"; then it answers and the next gives "ONLINE".
echo silent >"$work/mode"
start_sim "$build/tools/sim/vornix7-sim" "$work" --control "$work/mode" --count-file "$work/count"
pids+=("$sim_pid")
cp "$build/src/shell/qt/VORNIX7_Logger" "$work/"
write_settings "$work/VORNIX7_Logger.ini" PollInterval=3 HTMLTimeout=3 "URL=$sim_url" "LogfileName=$work/log.txt"
(cd "$work" && exec ./VORNIX7_Logger) 2>"$work/logger.err" &
pids+=($!)

shot() {
  sleep 0.5 # the label repaints
  import -window root "$out/vornix7-window-$1.png"
  echo "$out/vornix7-window-$1.png"
}
sleep 1.5
shot started
wait_for test -s "$work/count"
shot downloading
wait_for grep -qs ',ERROR' "$work/log.txt"
shot offline
echo normal >"$work/mode"
wait_for grep -qs ',OK' "$work/log.txt"
shot online

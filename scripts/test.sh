#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite,
# headless. Usage: scripts/test.sh [extra cmake arguments...]
#   BUILD_DIR   build folder (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build"
# The tests mostly wait (on polls, pauses and time-outs) rather than compute:
# twice as many at once as the machine has cores.
jobs=$((2 * $(nproc)))
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 180

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer +
# UndefinedBehaviorSanitizer and runs them side by side, each for a bounded
# time.
#   scripts/fuzz.sh [seconds per target, default 60]
# Findings are written to build-fuzz/findings/; the run fails if any target
# crashes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORNIX7_FUZZ=ON -DVORNIX7_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$build" --target fuzz_settings fuzz_numbers fuzz_poll

mkdir -p "$build/findings"
# The targets run side by side, each for its own bounded time.
declare -A pid_of=()
for target in settings numbers poll; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s =="
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$work" "$root/fuzz/corpus/$target" \
    >"$build/fuzz-$target.log" 2>&1 &
  pid_of[$target]=$!
done
found=0
for target in settings numbers poll; do
  log="$build/fuzz-$target.log"
  if ! wait "${pid_of[$target]}"; then
    tail -n 60 "$log"
    echo "fuzz_$target found a fault; the input is in $build/findings/" >&2
    found=1
    continue
  fi
  echo "== fuzz_$target"
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$log"
done
exit "$found"

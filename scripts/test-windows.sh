#!/usr/bin/env bash
# Cross-builds the Qt-free core, vornix7-check.exe and the Qt-free unit tests
# for 64-bit Windows with MinGW-w64, then runs every test program under Wine.
# Prints each program's gtest summary and a closing "N passed, N failed"
# (skipped tests counted apart);
# fails on any failed, crashed or timed-out test program.
# Usage: scripts/test-windows.sh [extra cmake arguments...]
#   BUILD_DIR      build folder (default: build-windows)
#   TEST_TIMEOUT   seconds each test program may run (default: 300)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-windows}
timeout_s=${TEST_TIMEOUT:-300}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DVORNIX7_CORE_ONLY=ON "$@"
cmake --build "$build" -j2

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
# A Wine prefix of the build's own, so nothing outside the build folder is
# touched; made once (this takes a while), reused after.
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== Making the Wine prefix $WINEPREFIX"
  timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
fi

mapfile -t programs < <(find "$build/tests" -name '*.exe' -type f | sort)
if [ "${#programs[@]}" -eq 0 ]; then
  echo "no test programs found under $build/tests" >&2
  exit 1
fi

passed=0 failed=0 skipped=0 broken=()
for program in "${programs[@]}"; do
  name=$(basename "$program" .exe)
  echo "== $name (under Wine)"
  output="$build/$name.wine.log"
  status=0
  # From the program's folder, as ctest would run it.
  (cd "$(dirname "$program")" && timeout "$timeout_s" "$wine" "$program" --gtest_brief=1) >"$output" 2>&1 ||
    status=$?
  tr -d '\r' <"$output" | grep -E '^\[  (PASSED|FAILED|SKIPPED) |^\[==========\]|^\[  FAILED  \]' || true
  n_passed=$(tr -d '\r' <"$output" | sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' | tail -1)
  n_failed=$(tr -d '\r' <"$output" | sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' | tail -1)
  n_skipped=$(tr -d '\r' <"$output" | sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' | tail -1)
  skipped=$((skipped + ${n_skipped:-0}))
  passed=$((passed + ${n_passed:-0}))
  failed=$((failed + ${n_failed:-0}))
  if [ "$status" -ne 0 ] || [ -z "${n_passed}" ]; then
    broken+=("$name (exit status $status, log: $output)")
  fi
done

# vornix7-check.exe itself: its log line goes to standard output byte for
# byte (CR LF, not the CR CR LF of a text-mode stream), and with no settings
# file it names the Windows default log.
echo "== vornix7-check.exe (under Wine)"
smoke="$build/check-smoke"
mkdir -p "$smoke"
printf '[Settings]\r\nLastSensor=0\r\n' >"$smoke/a.ini"
printf '<t0>1</t0>' >"$smoke/page.html"
check_ok=1
(cd "$smoke" && timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini a.ini page.html) \
  >"$smoke/line.out" 2>"$smoke/line.err" || check_ok=0
if [ "$(tail -c 8 "$smoke/line.out" | od -An -c | tr -s ' ')" != " , 1 . , O K \r \n" ] ||
  [ "$(wc -c <"$smoke/line.out")" -ne 28 ]; then
  check_ok=0
fi
# A missing settings file is a warning: exit status 3.
status=0
(cd "$smoke" && timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini missing.ini) \
  >"$smoke/settings.out" 2>&1 || status=$?
[ "$status" -eq 3 ] || check_ok=0
grep -qF 'LogfileName=C:\logfile.txt' "$smoke/settings.out" || check_ok=0
if [ "$check_ok" -eq 1 ]; then
  echo "[  PASSED  ] 1 test."
  passed=$((passed + 1))
else
  echo "[  FAILED  ] vornix7-check.exe: see $smoke"
  failed=$((failed + 1))
  broken+=("vornix7-check.exe (output in $smoke)")
fi

echo "== Windows build under Wine: $passed passed, $failed failed ($skipped skipped)"
if [ "${#broken[@]}" -gt 0 ]; then
  printf 'failed: %s\n' "${broken[@]}" >&2
  exit 1
fi

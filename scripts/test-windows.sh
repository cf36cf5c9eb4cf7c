#!/usr/bin/env bash
# The Windows builds and their tests under Wine, as CI runs them, for both
# architectures: x86_64 (64-bit Windows) and i686 (32-bit Windows).
#  1. per architecture: libcurl and libxlsxwriter for MinGW from Debian's
#     source packages (built once into the build folder, then reused:
#     scripts/build-mingw-libraries.sh), then the Windows build without Qt,
#     tests on;
#  2. the zips (one per architecture) and the one per-user installer
#     (packaging/windows/package.sh);
#  3. per architecture, in a Wine prefix of its own kept in the build folder
#     (64-bit for x86_64, a 32-bit WINEARCH=win32 one for i686): ctest runs
#     every test under Wine (the toolchain's emulator), the window's DPI
#     tests again at 144 DPI, and the end-to-end cases of the real program
#     (tests/windows/e2e.sh), for one architecture (WIN7_ARCH, default
#     i686) with Wine reporting Windows 7;
#  4. the packages in the same prefix (packaging/windows/check-package.sh):
#     every shipped program's imports, the zip's files, the installer's
#     install, update and uninstall.
# Prints ctest's failures, a tally per architecture and a closing
# "N passed, N failed" (", N skipped" when any); fails on any failed test.
# Usage: scripts/test-windows.sh [extra cmake arguments...]
#   BUILD_DIR      the x86_64 build folder (default: build-windows); the
#                  i686 one is BUILD_DIR-i686
#   WINDOWS_ARCHS  the architectures (default: "x86_64 i686")
#   WIN7_ARCH      the one whose end-to-end pass reports Windows 7 (default:
#                  i686; empty: none)
#   TEST_TIMEOUT   seconds each test may run (default: 300)
#   SIM            the host's vornix7-sim (default: build/tools/sim/vornix7-sim,
#                  built there if missing, with vornix7-report beside it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
base=${BUILD_DIR:-$root/build-windows}
read -r -a archs <<<"${WINDOWS_ARCHS:-x86_64 i686}"
win7_arch=${WIN7_ARCH-i686}
timeout_s=${TEST_TIMEOUT:-300}
export SIM=${SIM:-$root/build/tools/sim/vornix7-sim}
sim=$SIM
export HOST_BUILD
HOST_BUILD=$(dirname "$(dirname "$(dirname "$sim")")")
started=$(date +%s)

build_of() {
  if [ "$1" = x86_64 ]; then echo "$base"; else echo "$base-$1"; fi
}

# --- 1. Each architecture's build; its tests are found under Wine in the
# build's own prefix.
builds=()
for arch in "${archs[@]}"; do
  build=$(build_of "$arch")
  echo "== Windows $arch: building in $build"
  libraries=$(bash "$root/scripts/build-mingw-libraries.sh" "$build" "$arch")
  curl_prefix=$(sed -n 's/^libcurl //p' <<<"$libraries")
  xlsx_prefix=$(sed -n 's/^libxlsxwriter //p' <<<"$libraries")
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DCURL_DIR="$curl_prefix/lib/cmake/CURL" \
    -DXLSXWRITER_INCLUDE_DIR="$xlsx_prefix/include" -DXLSXWRITER_LIBRARY="$xlsx_prefix/lib/libxlsxwriter.a" "$@"
  build=$(cd "$build" && pwd)
  wine_prefix "$build"
  cmake --build "$build" -j2
  builds+=("$build")
done
[ -f "$HOST_BUILD/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$HOST_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$HOST_BUILD" --target vornix7-sim vornix7-report >/dev/null

passed=0 failed=0 skipped=0 broken=() arch_tallies=()
# --- 2. The packages: a zip per architecture, one installer for all
declare -A zip_of=()
setup_file=
pkg_dir="${builds[0]}/package"
pkg_out=$(PACKAGE_DIR="$pkg_dir" bash "$root/packaging/windows/package.sh" "${builds[@]}") || true
while read -r kind a b; do
  case "$kind" in
    zip) zip_of[$a]=$b ;;
    setup) setup_file=$a ;;
  esac
done <<<"$pkg_out"

# --- 3. ctest under Wine: $1 a name for its log and results, then ctest's
# arguments. Its passing tests are left out of the output.
run_ctest() {
  local name=$1 junit="$build/ctest-$1.xml" status=0 n f s d
  shift
  echo "== $arch: ctest $* (under Wine, $wine_arch)"
  rm -f "$junit"
  ctest --test-dir "$build" --timeout "$timeout_s" --output-on-failure --output-junit "$junit" "$@" \
    >"$build/ctest-$name.log" 2>&1 || status=$?
  grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed|^ *Start +[0-9]+: ' "$build/ctest-$name.log" || true
  read -r n f s d < <(sed -n '/<testsuite/,/>/p' "$junit" 2>/dev/null | tr -d '\n\t' |
    sed -E 's/.*tests="([0-9]+)".*failures="([0-9]+)".*disabled="([0-9]+)".*skipped="([0-9]+)".*/\1 \2 \4 \3/') || true
  if [ "${n:-0}" -eq 0 ] || [ "$status" -ne 0 ]; then
    broken+=("ctest $* on $arch (exit status $status, log: $build/ctest-$name.log)")
  fi
  passed=$((passed + ${n:-0} - ${f:-0} - ${s:-0} - ${d:-0}))
  failed=$((failed + ${f:-0}))
  skipped=$((skipped + ${s:-0} + ${d:-0}))
}


for arch in "${archs[@]}"; do
  build=$(cd "$(build_of "$arch")" && pwd)
  arch_started=$(date +%s) before_passed=$passed before_failed=$failed before_skipped=$skipped
  wine_prefix "$build"
  # Kept up between the tests (0.15 s per start instead of 0.7 s).
  wineserver -p30 2>/dev/null || true
  # Each test in a Wine process of its own, two at a time: a timing test
  # (connections closed within a step, a give-up after about a second) that
  # a loaded machine pushes past its bound gets a second run; a real fault
  # fails both.
  run_ctest unit -j2 -LE 'e2e|dpi144' --repeat until-pass:2
  run_ctest dpi144 -L dpi144
  # The end-to-end cases one at a time: they time the program's end.
  export E2E_WINDOWS_VERSION=
  [ "$arch" = "$win7_arch" ] && E2E_WINDOWS_VERSION=win7
  run_ctest e2e -L e2e
  echo "== $arch: the packages (packaging/windows/check-package.sh)"
  bash "$root/packaging/windows/check-package.sh" "$build" "$pkg_dir" "${zip_of[$arch]:-}" "$setup_file" |
    tee "$build/package-checks.log" || broken+=("the packages on $arch (log: $build/package-checks.log)")
  passed=$((passed + $(grep -c '^\[       OK \]' "$build/package-checks.log" || true)))
  failed=$((failed + $(grep -c '^\[  FAILED  \]' "$build/package-checks.log" || true)))
  arch_tallies+=("$arch: $((passed - before_passed)) passed, $((failed - before_failed)) failed, $((skipped - before_skipped)) skipped in $(($(date +%s) - arch_started)) s")
done

printf '== Windows %s\n' "${arch_tallies[@]}"
echo "== Windows build under Wine: $(($(date +%s) - started)) s"
if [ "${#broken[@]}" -gt 0 ]; then
  printf 'failed: %s\n' "${broken[@]}" >&2
fi
skipped_text=
[ "$skipped" -eq 0 ] || skipped_text=", $skipped skipped"
echo "Windows: $passed passed, $failed failed$skipped_text"
[ "${#broken[@]}" -eq 0 ]

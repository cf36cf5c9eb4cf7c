#!/usr/bin/env bash
# The Windows tools run under Wine, each check a ctest test:
#   check-line     vornix7-check.exe's log line goes to standard output byte
#                  for byte (CR LF, not the CR CR LF of a text-mode stream),
#                  and with no settings file it names the Windows default log
#   workbook       vornix7-report.exe's workbook the same as the Linux tool's,
#                  member for member (all but the file's creation time)
#   any-folder     vornix7-report.exe in a folder whose name code page 1252
#                  cannot hold still finds its chart library beside itself
# Usage: tool_checks.sh BUILD CHECK
#   HOST_BUILD  the Linux build with vornix7-report (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
wine_prefix "$build" >&2
report_dir=$build/tools/report
fail() { echo "$*" >&2; exit 1; }

case $2 in
  check-line)
    dir="$build/check-smoke"
    mkdir -p "$dir"
    cd "$dir"
    printf '[Settings]\r\nLastSensor=0\r\n' >a.ini
    printf '<t0>1</t0>' >page.html
    timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini a.ini page.html >line.out 2>line.err ||
      fail "exit status $? (output in $dir)"
    [ "$(tail -c 8 line.out | od -An -c | tr -s ' ')" = " , 1 . , O K \r \n" ] && [ "$(wc -c <line.out)" -eq 28 ] ||
      fail "the log line is not 28 bytes ending ',1.,OK' CR LF (output in $dir)"
    # A missing settings file is a warning: exit status 3.
    status=0
    timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini missing.ini >settings.out 2>&1 || status=$?
    [ "$status" -eq 3 ] || fail "a missing settings file gave exit status $status, not 3"
    grep -qF 'LogfileName=C:\logfile.txt' settings.out || fail "the Windows default log is not named"
    ;;
  workbook)
    linux_report=${HOST_BUILD:-$root/build}/tools/report/vornix7-report
    [ -x "$linux_report" ] || fail "$linux_report is not built"
    dir="$build/xlsx-test"
    rm -rf "$dir"
    mkdir -p "$dir"
    cd "$dir"
    printf '%b\r\n' "2026-12-07 10:00:00,'=Lab+1,21.5,-3.25,OK" "2026-12-07 10:00:05,Lab,-2048000.,-2048000.,ERROR" \
      "garbage" "2026-12-07 10:00:10,\"Caf\xe9, North\",0.1,1.,OK" "2026-12-07 10:00:15,Lab,0.1,123456.789,OK" \
      >log.txt
    timeout 60 "$wine" "$report_dir/vornix7-report.exe" log.txt --xlsx win.xlsx >win.out 2>win.err || true
    "$linux_report" log.txt --xlsx linux.xlsx >linux.out 2>linux.err || true
    [ -s win.xlsx ] && [ -s linux.xlsx ] || fail "no workbook (see $dir)"
    why=
    for member in $(unzip -Z1 linux.xlsx | grep -v '^docProps/core.xml$'); do
      cmp -s <(unzip -p linux.xlsx "$member") <(unzip -p win.xlsx "$member") || why="${why:+$why; }$member differs"
    done
    grep -q 'log.txt:3: ' win.err || why="${why:+$why; }the unreadable line is not named"
    [ -z "$why" ] || fail "$why"
    ;;
  any-folder)
    dir="$build/report-folder/Lab Łódź"
    rm -rf "$build/report-folder"
    mkdir -p "$dir"
    cp "$report_dir/vornix7-report.exe" "$report_dir/uPlot.iife.min.js" "$report_dir/uPlot.min.css" "$dir/"
    cd "$dir"
    printf '2026-12-07 10:00:00,Lab,21.5,OK\r\n2026-12-07 10:00:05,Lab,22.,OK\r\n' >log.txt
    timeout 60 "$wine" ./vornix7-report.exe log.txt >report.out 2>report.err || fail "exit status $? (see $dir)"
    ! grep -q 'chart library is not there' report.err || fail "the chart library beside it was not found"
    grep -q '1 charts' report.out || fail "no chart in the page (see $dir)"
    ;;
  *) fail "no check $2" ;;
esac

#!/usr/bin/env bash
# The Windows build and its tests under Wine, as CI runs them:
#  1. libcurl for MinGW from Debian's curl source package (built once into
#     the build folder, then reused; scripts/build-curl-mingw.sh), and
#     libxlsxwriter likewise (scripts/build-xlsxwriter-mingw.sh);
#  2. the Windows build without Qt (VORNIX7_Logger.exe on the Win32 shell,
#     vornix7-check.exe, the Qt-free unit tests and the transfer tests);
#  3. every test program under Wine, and vornix7-check.exe's own output;
#  4. VORNIX7_Logger.exe and vornix7-report.exe as shipped: import only DLLs
#     that come with Windows, under 3 MB; the report's workbook the same as
#     the Linux tool's;
#  5. the portable zip and the per-user installer (scripts/package-windows.sh):
#     the zip's files, a silent install into the build folder, the installed
#     program run once against the simulator on 127.0.0.1, the uninstall
#     keeping the log;
#  6. scripts/test-windows-e2e.sh, the end-to-end runs of the real program.
# Prints each program's gtest summary and a closing "N passed, N failed"
# (skipped tests counted apart); fails on any failed, crashed or timed-out
# test program or check.
# Usage: scripts/test-windows.sh [extra cmake arguments...]
#   BUILD_DIR      build folder (default: build-windows)
#   TEST_TIMEOUT   seconds each test program may run (default: 300)
#   SIM            the host's vornix7-sim (default: build/tools/sim/vornix7-sim,
#                  built there if missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-windows}
timeout_s=${TEST_TIMEOUT:-300}
sim=${SIM:-$root/build/tools/sim/vornix7-sim}
started=$(date +%s)

curl_prefix=$(bash "$root/scripts/build-curl-mingw.sh" "$build" | tail -1)
# libxlsxwriter likewise, for vornix7-report.exe's workbook.
xlsx_prefix=$(bash "$root/scripts/build-xlsxwriter-mingw.sh" "$build" | tail -1)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCURL_DIR="$curl_prefix/lib/cmake/CURL" \
  -DXLSXWRITER_INCLUDE_DIR="$xlsx_prefix/include" -DXLSXWRITER_LIBRARY="$xlsx_prefix/lib/libxlsxwriter.a" "$@"
cmake --build "$build" -j2
build=$(cd "$build" && pwd)

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
# A Wine prefix of the build's own, so nothing outside the build folder is
# touched; made once (this takes a while), reused after. No menu entries on
# the host for the installer's shortcuts.
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== Making the Wine prefix $WINEPREFIX"
  timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
fi
# No display: Wine's null graphics driver, taken up by a new wineserver.
if ! grep -q '^"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 60 wineserver -w || true
fi

passed=0 failed=0 skipped=0 broken=()
# One check of this script as a row of the tally: $1 name, $2 empty when it
# passed, else why it failed.
tally() {
  if [ -z "$2" ]; then
    echo "[       OK ] $1"
    passed=$((passed + 1))
  else
    echo "[  FAILED  ] $1: $2"
    failed=$((failed + 1))
    broken+=("$1 ($2)")
  fi
}

mapfile -t programs < <(find "$build/tests" -name '*.exe' -type f | sort)
if [ "${#programs[@]}" -eq 0 ]; then
  echo "no test programs found under $build/tests" >&2
  exit 1
fi

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

echo "== Checks of the programs and packages"
# vornix7-check.exe itself: its log line goes to standard output byte for
# byte (CR LF, not the CR CR LF of a text-mode stream), and with no settings
# file it names the Windows default log.
smoke="$build/check-smoke"
mkdir -p "$smoke"
printf '[Settings]\r\nLastSensor=0\r\n' >"$smoke/a.ini"
printf '<t0>1</t0>' >"$smoke/page.html"
why=
(cd "$smoke" && timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini a.ini page.html) \
  >"$smoke/line.out" 2>"$smoke/line.err" || why="exit status $? (output in $smoke)"
if [ "$(tail -c 8 "$smoke/line.out" | od -An -c | tr -s ' ')" != " , 1 . , O K \r \n" ] ||
  [ "$(wc -c <"$smoke/line.out")" -ne 28 ]; then
  why="the log line is not 28 bytes ending ',1.,OK' CR LF (output in $smoke)"
fi
# A missing settings file is a warning: exit status 3.
status=0
(cd "$smoke" && timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini missing.ini) \
  >"$smoke/settings.out" 2>&1 || status=$?
[ "$status" -eq 3 ] || why="a missing settings file gave exit status $status, not 3"
grep -qF 'LogfileName=C:\logfile.txt' "$smoke/settings.out" || why="the Windows default log is not named"
tally "vornix7-check.exe: its line and its warning" "$why"

# The packages; their VORNIX7_Logger.exe is the one checked next.
pkg_out=$(bash "$root/scripts/package-windows.sh" "$build") || true
zip_file=$(sed -n 1p <<<"$pkg_out")
setup_file=$(sed -n 2p <<<"$pkg_out")
shipped=$build/package/VORNIX7_Logger/VORNIX7_Logger.exe

# The shipped program: one file that needs only what comes with Windows
# (checked against a list, so a new import is looked at before it ships).
why=
system_dlls=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll msvcrt.dll"
system_dlls+=" ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll winmm.dll ws2_32.dll "
if [ ! -f "$shipped" ]; then
  why="not in the package"
else
  exe_bytes=$(stat -c %s "$shipped")
  imports=$(x86_64-w64-mingw32-objdump -p "$shipped" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | tr -d '\r')
  for dll in $imports; do
    [[ "$system_dlls" == *" $dll "* ]] || why="${why:+$why; }imports $dll"
  done
  [ "$exe_bytes" -lt 3000000 ] || why="${why:+$why; }$exe_bytes bytes, not under 3 MB"
  echo "  VORNIX7_Logger.exe: $exe_bytes bytes; imports: ${imports//$'\n'/ }"
fi
tally "VORNIX7_Logger.exe: system DLLs only, under 3 MB" "$why"

# vornix7-report.exe: one file of system DLLs only, under 3 MB, and its
# workbook the same as the Linux tool's, sheet for sheet (the members but
# the file's creation time).
why=
report_exe=$build/package/VORNIX7_Logger/vornix7-report.exe
linux_report=$(dirname "$(dirname "$(dirname "$sim")")")/tools/report/vornix7-report
if [ ! -x "$linux_report" ]; then
  cmake --build "$(dirname "$(dirname "$(dirname "$linux_report")")")" --target vornix7-report >/dev/null
fi
book="$build/xlsx-test"
rm -rf "$book"
mkdir -p "$book"
printf '%b\r\n' "2026-12-07 10:00:00,'=Lab+1,21.5,-3.25,OK" "2026-12-07 10:00:05,Lab,-2048000.,-2048000.,ERROR" \
  "garbage" "2026-12-07 10:00:10,\"Caf\xe9, North\",0.1,1.,OK" "2026-12-07 10:00:15,Lab,0.1,123456.789,OK" \
  >"$book/log.txt"
(cd "$book" && timeout 60 "$wine" "$report_exe" log.txt --xlsx win.xlsx >win.out 2>win.err) || true
(cd "$book" && "$linux_report" log.txt --xlsx linux.xlsx >linux.out 2>linux.err) || true
if [ ! -s "$book/win.xlsx" ] || [ ! -s "$book/linux.xlsx" ]; then
  why="no workbook (see $book)"
else
  for member in $(unzip -Z1 "$book/linux.xlsx" | grep -v '^docProps/core.xml$'); do
    cmp -s <(unzip -p "$book/linux.xlsx" "$member") <(unzip -p "$book/win.xlsx" "$member") ||
      why="${why:+$why; }$member differs"
  done
  grep -q 'log.txt:3: ' "$book/win.err" || why="${why:+$why; }the unreadable line is not named"
fi
exe_bytes=$(stat -c %s "$report_exe")
imports=$(x86_64-w64-mingw32-objdump -p "$report_exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | tr -d '\r')
for dll in $imports; do
  [[ "$system_dlls" == *" $dll "* ]] || why="${why:+$why; }imports $dll"
done
[ "$exe_bytes" -lt 3000000 ] || why="${why:+$why; }$exe_bytes bytes, not under 3 MB"
echo "  vornix7-report.exe: $exe_bytes bytes; imports: ${imports//$'\n'/ }"
tally "vornix7-report.exe: the Linux tool's workbook, system DLLs only, under 3 MB" "$why"

# The zip: the programs, the settings file and the README, text in CR LF.
why=
if [ ! -f "$zip_file" ]; then
  why="no zip made"
else
  unzipped="$build/package-test/zip"
  rm -rf "$unzipped"
  mkdir -p "$unzipped"
  (cd "$unzipped" && unzip -q "$zip_file")
  for f in VORNIX7_Logger.exe vornix7-check.exe vornix7-report.exe uPlot.iife.min.js uPlot.min.css \
    VORNIX7_Logger.ini README.txt; do
    [ -s "$unzipped/VORNIX7_Logger/$f" ] || why="${why:+$why; }$f missing"
  done
  for f in VORNIX7_Logger.ini README.txt; do
    file="$unzipped/VORNIX7_Logger/$f"
    [ -f "$file" ] && [ "$(grep -c $'\r$' "$file")" -ne "$(wc -l <"$file")" ] && why="${why:+$why; }$f not CR LF"
  done
  grep -q $'^URL=http://192\\.168\\.1\\.100/\r$' "$unzipped/VORNIX7_Logger/VORNIX7_Logger.ini" ||
    why="${why:+$why; }the settings file is not the example"
fi
tally "zip: programs, the report's chart library, settings and README" "$why"

# The installer, silently into the build folder (/D last, unquoted, so the
# path must hold no space), then its program against the simulator, then
# the uninstaller. Under Wine an installer's exit status says nothing: its
# files are checked.
inst_root="$build/package-test/install"
inst_dir="$inst_root/app"
win_inst_dir="Z:${inst_dir//\//\\}"
# The log in the program's own folder, as a portable install keeps it: the
# uninstaller must leave it there.
log="$inst_dir/logfile.txt"
win_log="Z:${log//\//\\}"
# Wine names the user's folder after the host's user.
wine_user=${USER:-$(id -un)}
start_lnk="$WINEPREFIX/drive_c/users/$wine_user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/VORNIX7 Logger.lnk"
# The Startup folder's name differs in case between Windows and Wine.
startup_lnk() { find "${start_lnk%/*}" -maxdepth 2 -ipath '*/startup/VORNIX7 Logger.lnk' | grep -q .; }
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VORNIX7_Logger'
# Nothing left from an earlier run may pass for this one's work.
rm -rf "$inst_root"
rm -f "$start_lnk"
find "${start_lnk%/*}" -maxdepth 2 -ipath '*/startup/VORNIX7 Logger.lnk' -delete 2>/dev/null || true
mkdir -p "$inst_root"
ini="$inst_dir/VORNIX7_Logger.ini" port=
why=
if [ ! -f "$setup_file" ] || [[ "$inst_dir" == *" "* ]]; then
  why="no installer made, or a space in $inst_dir"
else
  timeout 120 "$wine" "$setup_file" /S "/D=$win_inst_dir" >/dev/null 2>&1 || true
  for f in VORNIX7_Logger.exe vornix7-check.exe vornix7-report.exe uPlot.iife.min.js uPlot.min.css README.txt \
    VORNIX7_Logger.ini uninstall.exe; do
    [ -s "$inst_dir/$f" ] || why="${why:+$why; }$f not installed"
  done
  if [ -f "$ini" ]; then
    grep -q $'^URL=http://192\\.168\\.1\\.100/\r$' "$ini" || why="${why:+$why; }URL is not the default"
    grep -qiE $'^LogfileName=C:\\\\users\\\\[^\\\\]+\\\\Documents\\\\VORNIX7_logfile\\.txt\r$' "$ini" ||
      why="${why:+$why; }LogfileName is not in the user's Documents"
    grep -q $'^StartMinimized=0\r$' "$ini" || why="${why:+$why; }StartMinimized changed without being asked"
  fi
  [ -f "$start_lnk" ] || why="${why:+$why; }no Start-menu entry"
  startup_lnk && why="${why:+$why; }a Startup shortcut without being asked"
  timeout 60 "$wine" reg query "$uninstall_key" /v UninstallString >/dev/null 2>&1 ||
    why="${why:+$why; }no uninstall entry"
fi
tally "installer: silent install with the default answers" "$why"

why=
if [ ! -f "$inst_dir/VORNIX7_Logger.exe" ]; then
  why="nothing installed"
else
  if [ ! -x "$sim" ]; then
    sim_build=$(dirname "$(dirname "$(dirname "$sim")")")
    [ -f "$sim_build/CMakeCache.txt" ] ||
      cmake -S "$root" -B "$sim_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$sim_build" --target vornix7-sim >/dev/null
  fi
  "$sim" --port 0 --max-seconds 60 --quiet >"$inst_root/sim.out" 2>"$inst_root/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$inst_root/sim.out")
    [ -n "$port" ] && break
    sleep 0.05
  done
  if [ -z "$port" ]; then
    why="the simulator did not start"
  else
    # The installed settings pointed at the simulator and a log of the
    # test's own; everything else as installed.
    sed -i -e "s|^URL=.*|URL=http://127.0.0.1:$port/\r|" -e "s|^LogfileName=.*|LogfileName=${win_log//\\/\\\\}\r|" \
      -e $'s|^PollInterval=.*|PollInterval=1\r|' "$ini"
    (cd "$inst_root" && exec timeout 60 "$wine" "$inst_dir/VORNIX7_Logger.exe" >"$inst_root/out.txt" 2>"$inst_root/err.txt") &
    logger_pid=$!
    for _ in $(seq 300); do
      [ -f "$log" ] && [ "$(wc -l <"$log")" -ge 2 ] && break
      sleep 0.05
    done
    probe_exe="$build/windows-e2e/window_probe.exe"
    if [ -f "$probe_exe" ]; then
      timeout 30 "$wine" "$probe_exe" end close 5000 >/dev/null 2>&1 || true
    fi
    status=0
    kill "$logger_pid" 2>/dev/null || true
    wait "$logger_pid" || status=$?
    if [ ! -f "$log" ] || [ "$(wc -l <"$log")" -lt 2 ]; then
      why="fewer than 2 log lines in 15 s (see $inst_root)"
    elif [ "$(grep -cv $',OK\r$' "$log")" -ne 0 ]; then
      why="a line that is not OK: $(grep -v $',OK\r$' "$log" | head -1 | tr -d '\r')"
    elif [ -f "$probe_exe" ] && [ "$status" -ne 0 ]; then
      why="closing the window ended it with status $status"
    fi
  fi
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
fi
tally "installed program: OK lines from the simulator, ends on WM_CLOSE" "$why"

# Installed again over it, now with "Start with Windows": the earlier
# answers stay, the window starts minimized, a Startup shortcut is made.
why=
if [ ! -f "$ini" ]; then
  why="nothing installed"
else
  timeout 120 "$wine" "$setup_file" /S /AUTOSTART "/D=$win_inst_dir" >/dev/null 2>&1 || true
  grep -q "^URL=http://127\.0\.0\.1:$port/"$'\r$' "$ini" || why="the earlier URL was not kept"
  grep -qF "LogfileName=$win_log"$'\r' "$ini" || why="${why:+$why; }the earlier log file was not kept"
  grep -q $'^PollInterval=1\r$' "$ini" || why="${why:+$why; }the other settings were not kept"
  grep -q $'^StartMinimized=1\r$' "$ini" || why="${why:+$why; }StartMinimized is not 1"
  startup_lnk || why="${why:+$why; }no Startup shortcut"
fi
tally "installer: update with start with Windows keeps the answers" "$why"

why=
if [ ! -f "$inst_dir/uninstall.exe" ]; then
  why="no uninstaller"
else
  echo "kept" >>"$log"
  timeout 60 "$wine" "$inst_dir/uninstall.exe" /S >/dev/null 2>&1 || true
  # The uninstaller runs on from a copy of itself: wait for its end.
  for _ in $(seq 200); do
    [ -e "$inst_dir/uninstall.exe" ] || [ -e "$inst_dir/VORNIX7_Logger.exe" ] || break
    sleep 0.1
  done
  timeout 60 wineserver -w || true
  left=$(find "$inst_dir" -mindepth 1 -printf '%P ' 2>/dev/null || true)
  [ "$left" = "logfile.txt " ] || why="the program's folder holds more than the log: $left"
  [ -e "$start_lnk" ] && why="${why:+$why; }the Start-menu entry is still there"
  startup_lnk && why="${why:+$why; }the Startup shortcut is still there"
  timeout 60 "$wine" reg query "$uninstall_key" >/dev/null 2>&1 && why="${why:+$why; }the uninstall entry is still there"
  grep -q '^kept$' "$log" 2>/dev/null || why="${why:+$why; }the log is gone"
fi
tally "uninstaller: removes the program, keeps the log" "$why"

# The end-to-end runs of the real program (their cases join the tally).
e2e="$root/scripts/test-windows-e2e.sh"
if [ -f "$e2e" ]; then
  echo "== End-to-end runs (scripts/test-windows-e2e.sh)"
  e2e_log="$build/e2e.wine.log"
  status=0
  BUILD_DIR="$build" SIM="$sim" bash "$e2e" 2>&1 | tee "$e2e_log" || status=${PIPESTATUS[0]}
  n_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$e2e_log" | tail -1)
  n_failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests, listed below.*/\1/p' "$e2e_log" | tail -1)
  passed=$((passed + ${n_passed:-0}))
  failed=$((failed + ${n_failed:-0}))
  if [ "$status" -ne 0 ] || [ -z "$n_passed" ]; then
    broken+=("test-windows-e2e.sh (exit status $status, log: $e2e_log)")
  fi
fi

echo "== Windows build under Wine: $passed passed, $failed failed ($skipped skipped) in $(($(date +%s) - started)) s"
if [ "${#broken[@]}" -gt 0 ]; then
  printf 'failed: %s\n' "${broken[@]}" >&2
  exit 1
fi

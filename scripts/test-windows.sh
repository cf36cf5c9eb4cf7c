#!/usr/bin/env bash
# The Windows builds and their tests under Wine, as CI runs them, for both
# architectures: x86_64 (64-bit Windows) and i686 (32-bit Windows).
#  1. per architecture: libcurl for MinGW from Debian's curl source package
#     (built once into the build folder, then reused;
#     scripts/build-curl-mingw.sh) and libxlsxwriter likewise
#     (scripts/build-xlsxwriter-mingw.sh), then the Windows build without Qt
#     (VORNIX7_Logger.exe on the Win32 shell, vornix7-check.exe,
#     vornix7-report.exe, the Qt-free unit tests and the transfer tests);
#  2. the zips (one per architecture) and the one per-user installer
#     (scripts/package-windows.sh);
#  3. per architecture, in a Wine prefix of its own (64-bit for x86_64, a
#     32-bit WINEARCH=win32 one for i686): every test program (the window's
#     DPI test at 96 and at 144 DPI), vornix7-check.exe's own output;
#  4. every shipped program: its imports against Windows 7 SP1's exports
#     (scripts/check-windows-imports.sh), only DLLs that come with Windows,
#     under 3 MB; vornix7-report.exe's workbook the same as the Linux tool's;
#  5. the zip's files; the installer silently into the build folder, the
#     right architecture's programs installed, the installed program run
#     once against the simulator on 127.0.0.1, an update, a second logger in
#     another folder with entries of its own, the uninstalls keeping the log;
#  6. scripts/test-windows-e2e.sh, the end-to-end runs of the real program;
#     for one architecture (WIN7_ARCH, default i686) with Wine reporting
#     Windows 7.
# Prints each program's gtest summary, a tally per architecture and a
# closing "N passed, N failed" (skipped tests counted apart); fails on any
# failed, crashed or timed-out test program or check.
# Usage: scripts/test-windows.sh [extra cmake arguments...]
#   BUILD_DIR      the x86_64 build folder (default: build-windows); the
#                  i686 one is BUILD_DIR-i686
#   WINDOWS_ARCHS  the architectures (default: "x86_64 i686")
#   WIN7_ARCH      the one whose end-to-end pass reports Windows 7 (default:
#                  i686; empty: none)
#   TEST_TIMEOUT   seconds each test program may run (default: 300)
#   SIM            the host's vornix7-sim (default: build/tools/sim/vornix7-sim,
#                  built there if missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
base=${BUILD_DIR:-$root/build-windows}
read -r -a archs <<<"${WINDOWS_ARCHS:-x86_64 i686}"
win7_arch=${WIN7_ARCH-i686}
timeout_s=${TEST_TIMEOUT:-300}
sim=${SIM:-$root/build/tools/sim/vornix7-sim}
started=$(date +%s)

build_of() {
  if [ "$1" = x86_64 ]; then echo "$base"; else echo "$base-$1"; fi
}

# --- 1. Each architecture's build

build_windows() {
  local arch=$1 build curl_prefix xlsx_prefix
  build=$(build_of "$arch")
  echo "== Windows $arch: building in $build"
  curl_prefix=$(bash "$root/scripts/build-curl-mingw.sh" "$build" "$arch" | tail -1)
  # libxlsxwriter likewise, for vornix7-report.exe's workbook.
  xlsx_prefix=$(bash "$root/scripts/build-xlsxwriter-mingw.sh" "$build" "$arch-w64-mingw32" | tail -1)
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DCURL_DIR="$curl_prefix/lib/cmake/CURL" \
    -DXLSXWRITER_INCLUDE_DIR="$xlsx_prefix/include" -DXLSXWRITER_LIBRARY="$xlsx_prefix/lib/libxlsxwriter.a" \
    "${cmake_args[@]}"
  cmake --build "$build" -j2
}

cmake_args=("$@")
builds=()
for arch in "${archs[@]}"; do
  build_windows "$arch"
  builds+=("$(cd "$(build_of "$arch")" && pwd)")
done

if [ ! -x "$sim" ]; then
  sim_build=$(dirname "$(dirname "$(dirname "$sim")")")
  [ -f "$sim_build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$sim_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$sim_build" --target vornix7-sim >/dev/null
fi

passed=0 failed=0 skipped=0 broken=() arch_tallies=()
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

# --- 2. The packages: a zip per architecture, one installer for all

declare -A zip_of=()
setup_file=
pkg_dir="${builds[0]}/package"
pkg_out=$(PACKAGE_DIR="$pkg_dir" bash "$root/scripts/package-windows.sh" "${builds[@]}") || true
while read -r kind a b; do
  case "$kind" in
    zip) zip_of[$a]=$b ;;
    setup) setup_file=$a ;;
  esac
done <<<"$pkg_out"

# --- 3.-6. Each architecture under Wine

# Runs one gtest program under Wine and adds its counts; $1 the program,
# $2 a label for its log and summary (the program's name by default).
run_test_program() {
  local program=$1 name=${2:-$(basename "$1" .exe)} output status=0 n_passed n_failed n_skipped
  echo "== $name (under Wine, $wine_arch)"
  output="$build/$name.wine.log"
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
    broken+=("$name on $wine_arch (exit status $status, log: $output)")
  fi
}

# The test programs that run a second time with the screen at 144 DPI.
dpi_programs=" vornix7_win32_window_tests "

test_programs() {
  local programs program
  mapfile -t programs < <(find "$build/tests" -name '*.exe' -type f | sort)
  if [ "${#programs[@]}" -eq 0 ]; then
    tally "test programs" "none found under $build/tests"
    return
  fi
  for program in "${programs[@]}"; do
    run_test_program "$program"
    if [[ "$dpi_programs" == *" $(basename "$program" .exe) "* ]]; then
      wine_dpi 144
      run_test_program "$program" "$(basename "$program" .exe)-144dpi"
      wine_dpi 96
    fi
  done
}

# vornix7-check.exe itself: its log line goes to standard output byte for
# byte (CR LF, not the CR CR LF of a text-mode stream), and with no settings
# file it names the Windows default log.
check_tool_output() {
  local smoke="$build/check-smoke" why='' status=0
  mkdir -p "$smoke"
  printf '[Settings]\r\nLastSensor=0\r\n' >"$smoke/a.ini"
  printf '<t0>1</t0>' >"$smoke/page.html"
  (cd "$smoke" && timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini a.ini page.html) \
    >"$smoke/line.out" 2>"$smoke/line.err" || why="exit status $? (output in $smoke)"
  if [ "$(tail -c 8 "$smoke/line.out" | od -An -c | tr -s ' ')" != " , 1 . , O K \r \n" ] ||
    [ "$(wc -c <"$smoke/line.out")" -ne 28 ]; then
    why="the log line is not 28 bytes ending ',1.,OK' CR LF (output in $smoke)"
  fi
  # A missing settings file is a warning: exit status 3.
  (cd "$smoke" && timeout 60 "$wine" "$build/tools/check/vornix7-check.exe" --ini missing.ini) \
    >"$smoke/settings.out" 2>&1 || status=$?
  [ "$status" -eq 3 ] || why="a missing settings file gave exit status $status, not 3"
  grep -qF 'LogfileName=C:\logfile.txt' "$smoke/settings.out" || why="the Windows default log is not named"
  tally "$arch: vornix7-check.exe: its line and its warning" "$why"
}

# Every shipped program: one file that loads on Windows 7 SP1 (each import
# exported there), needs only what comes with Windows (checked against a
# list, so a new DLL is looked at before it ships), under 3 MB.
shipped_programs() {
  local stage="$pkg_dir/$arch/VORNIX7_Logger" exe why='' dll imports report
  local system_dlls=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll msvcrt.dll"
  system_dlls+=" ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll winmm.dll ws2_32.dll "
  mapfile -t exes < <(find "$stage" -name '*.exe' -type f 2>/dev/null | sort)
  if [ "${#exes[@]}" -eq 0 ]; then
    tally "$arch: shipped programs load on Windows 7 SP1" "no programs in $stage"
    return
  fi
  report=$(bash "$root/scripts/check-windows-imports.sh" "${exes[@]}") || why="imports refused: see above"
  echo "$report" | sed 's/^/  /'
  for exe in "${exes[@]}"; do
    imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | tr -d '\r')
    for dll in $imports; do
      [[ "$system_dlls" == *" $dll "* ]] || why="${why:+$why; }$(basename "$exe") imports $dll"
    done
    [ "$(stat -c %s "$exe")" -lt 3000000 ] || why="${why:+$why; }$(basename "$exe") is not under 3 MB"
  done
  tally "$arch: shipped programs load on Windows 7 SP1, system DLLs only, under 3 MB" "$why"
}

# vornix7-report.exe's workbook the same as the Linux tool's, member for
# member (all but the file's creation time).
workbook_check() {
  local report_exe="$pkg_dir/$arch/VORNIX7_Logger/vornix7-report.exe" book="$build/xlsx-test" why='' member
  local linux_report
  linux_report=$(dirname "$(dirname "$(dirname "$sim")")")/tools/report/vornix7-report
  if [ ! -x "$linux_report" ]; then
    cmake --build "$(dirname "$(dirname "$(dirname "$linux_report")")")" --target vornix7-report >/dev/null
  fi
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
  tally "$arch: vornix7-report.exe: the Linux tool's workbook" "$why"
}

# vornix7-report.exe in a folder whose name code page 1252 cannot hold
# still finds its chart library beside itself.
report_in_any_folder() {
  local stage="$pkg_dir/$arch/VORNIX7_Logger" dir="$build/report-folder/Lab Łódź" why=''
  rm -rf "$build/report-folder"
  mkdir -p "$dir"
  cp "$stage/vornix7-report.exe" "$stage/uPlot.iife.min.js" "$stage/uPlot.min.css" "$dir/"
  printf '2026-12-07 10:00:00,Lab,21.5,OK\r\n2026-12-07 10:00:05,Lab,22.,OK\r\n' >"$dir/log.txt"
  (cd "$dir" && timeout 60 "$wine" ./vornix7-report.exe log.txt >report.out 2>report.err) ||
    why="exit status $? (see $dir)"
  grep -q 'chart library is not there' "$dir/report.err" && why="the chart library beside it was not found"
  grep -q '1 charts' "$dir/report.out" || why="${why:-no chart in the page (see $dir)}"
  tally "$arch: vornix7-report.exe in a folder named outside the code page finds its charts" "$why"
}

# The zip: the programs, the settings file and the README, text in CR LF.
zip_contents() {
  local zip_file=${zip_of[$arch]:-} unzipped="$build/package-test/zip" f file why=
  if [ ! -f "$zip_file" ]; then
    tally "$arch: zip" "no zip made"
    return
  fi
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
  for f in "$unzipped"/VORNIX7_Logger/*.exe; do
    [ "$(pe_arch "$f")" = "$arch" ] || why="${why:+$why; }$(basename "$f") is not $arch"
  done
  tally "$arch: zip: its programs, the report's chart library, settings and README" "$why"
}

# x86_64 or i686, from a program's PE header.
pe_arch() {
  case "$(x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null | sed -n 's/.*file format //p' | head -1)" in
    pei-x86-64) echo x86_64 ;;
    pei-i386) echo i686 ;;
    *) echo unknown ;;
  esac
}

# --- The installer, in this architecture's prefix

# Windows' own path of a host path, as Wine gives it (Z: is the host's /).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The entries the installer gives a folder other than its default one, by
# the folder's Windows path: the Start-menu shortcut's name and the
# uninstall entry's key.
entry_name() {
  local path=${1//:/}
  printf 'VORNIX7 Logger (%s)' "${path//\\/-}"
}
entry_key() { printf 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORNIX7_Logger %s' "${1//\\//}"; }
plain_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VORNIX7_Logger'
has_key() { timeout 60 "$wine" reg query "$1" /v UninstallString >/dev/null 2>&1; }
# A value of a key, as reg query shows it.
key_value() {
  timeout 60 "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p"
}
# The Startup folder's name differs in case between Windows and Wine.
startup_lnk() { find "$programs_dir" -maxdepth 2 -ipath "*/startup/$1.lnk" | grep -q .; }
# Silent, with /D last and unquoted (so the path holds no space), or into
# the default folder without /D. Under Wine an installer's exit status says
# nothing: its files are checked.
run_setup() { timeout 120 "$wine" "$setup_file" /S "$@" >/dev/null 2>&1 || true; }
# The uninstaller runs on from a copy of itself: wait for its end.
run_uninstall() {
  local dir=$1 _
  timeout 60 "$wine" "$dir/uninstall.exe" /S >/dev/null 2>&1 || true
  for _ in $(seq 200); do
    [ -e "$dir/uninstall.exe" ] || [ -e "$dir/VORNIX7_Logger.exe" ] || break
    sleep 0.1
  done
  timeout 60 wineserver -w || true
}

installer_checks() {
  local inst_root="$build/package-test/install" why='' f port='' status
  local inst_dir="$inst_root/app" win_inst_dir log win_log wine_user ini name key
  win_inst_dir=$(windows_path "$inst_dir")
  # The log in the program's own folder, as a portable install keeps it:
  # the uninstaller must leave it there.
  log="$inst_dir/logfile.txt"
  win_log=$(windows_path "$log")
  # Wine names the user's folder after the host's user.
  wine_user=${USER:-$(id -un)}
  programs_dir="$WINEPREFIX/drive_c/users/$wine_user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
  local default_dir="$WINEPREFIX/drive_c/users/$wine_user/AppData/Local/Programs/VORNIX7_Logger"
  name=$(entry_name "$win_inst_dir")
  key=$(entry_key "$win_inst_dir")
  ini="$inst_dir/VORNIX7_Logger.ini"
  # Nothing left from an earlier run may pass for this one's work.
  [ -f "$default_dir/uninstall.exe" ] && run_uninstall "$default_dir"
  rm -rf "$inst_root" "$default_dir"
  find "$programs_dir" -maxdepth 2 -iname 'VORNIX7 Logger*.lnk' -delete 2>/dev/null || true
  timeout 60 "$wine" reg delete "$plain_key" /f >/dev/null 2>&1 || true
  timeout 60 "$wine" reg delete "$key" /f >/dev/null 2>&1 || true
  mkdir -p "$inst_root"

  if [ ! -f "$setup_file" ] || [[ "$inst_dir" == *" "* ]]; then
    why="no installer made, or a space in $inst_dir"
  else
    run_setup "/D=$win_inst_dir"
    for f in VORNIX7_Logger.exe vornix7-check.exe vornix7-report.exe uPlot.iife.min.js uPlot.min.css README.txt \
      VORNIX7_Logger.ini uninstall.exe; do
      [ -s "$inst_dir/$f" ] || why="${why:+$why; }$f not installed"
    done
    # The programs of this Windows' architecture (the uninstaller is the
    # installer's own, 32-bit).
    for f in "$inst_dir"/*.exe; do
      [ "$(basename "$f")" = uninstall.exe ] && continue
      [ "$(pe_arch "$f")" = "$arch" ] || why="${why:+$why; }$(basename "$f") is $(pe_arch "$f"), not $arch"
    done
    if [ -f "$ini" ]; then
      grep -q $'^URL=http://192\\.168\\.1\\.100/\r$' "$ini" || why="${why:+$why; }URL is not the default"
      grep -qiE $'^LogfileName=C:\\\\users\\\\[^\\\\]+\\\\Documents\\\\VORNIX7_logfile\\.txt\r$' "$ini" ||
        why="${why:+$why; }LogfileName is not in the user's Documents"
      grep -q $'^StartMinimized=0\r$' "$ini" || why="${why:+$why; }StartMinimized changed without being asked"
    fi
    [ -f "$programs_dir/$name.lnk" ] || why="${why:+$why; }no Start-menu entry '$name'"
    startup_lnk "$name" && why="${why:+$why; }a Startup shortcut without being asked"
    has_key "$key" || why="${why:+$why; }no uninstall entry $key"
  fi
  tally "$arch: installer: silent install with the default answers, the $arch programs" "$why"

  why=
  if [ ! -f "$inst_dir/VORNIX7_Logger.exe" ]; then
    why="nothing installed"
  else
    "$sim" --port 0 --max-seconds 60 --quiet >"$inst_root/sim.out" 2>"$inst_root/sim.err" &
    local sim_pid=$! logger_pid _
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
      local probe_exe="$build/windows-e2e/window_probe.exe"
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
  tally "$arch: installed program: OK lines from the simulator, ends on WM_CLOSE" "$why"

  # Installed again over it, now with "Start with Windows": the earlier
  # answers stay, the window starts minimized, a Startup shortcut is made.
  why=
  if [ ! -f "$ini" ]; then
    why="nothing installed"
  else
    run_setup /AUTOSTART "/D=$win_inst_dir"
    grep -q "^URL=http://127\.0\.0\.1:$port/"$'\r$' "$ini" || why="the earlier URL was not kept"
    grep -qF "LogfileName=$win_log"$'\r' "$ini" || why="${why:+$why; }the earlier log file was not kept"
    grep -q $'^PollInterval=1\r$' "$ini" || why="${why:+$why; }the other settings were not kept"
    grep -q $'^StartMinimized=1\r$' "$ini" || why="${why:+$why; }StartMinimized is not 1"
    startup_lnk "$name" || why="${why:+$why; }no Startup shortcut"
  fi
  tally "$arch: installer: update with start with Windows keeps the answers" "$why"

  # A second logger, in the default folder: it gets the plain entries, and
  # the first keeps its own; removing the second leaves the first's.
  why=
  if [ ! -f "$ini" ]; then
    why="nothing installed"
  else
    run_setup
    [ -f "$default_dir/VORNIX7_Logger.exe" ] || why="nothing installed in the default folder"
    [ -f "$programs_dir/VORNIX7 Logger.lnk" ] || why="${why:+$why; }no Start-menu entry 'VORNIX7 Logger'"
    [ -f "$programs_dir/$name.lnk" ] || why="${why:+$why; }the first logger lost its Start-menu entry"
    has_key "$plain_key" || why="${why:+$why; }no uninstall entry $plain_key"
    has_key "$key" || why="${why:+$why; }the first logger lost its uninstall entry"
    [ "$(key_value "$key" InstallLocation)" = "$win_inst_dir" ] ||
      why="${why:+$why; }the first logger's entry names '$(key_value "$key" InstallLocation)'"
    [ "$(key_value "$key" DisplayName)" != "$(key_value "$plain_key" DisplayName)" ] ||
      why="${why:+$why; }both entries are named '$(key_value "$key" DisplayName)'"
    if [ -f "$default_dir/uninstall.exe" ]; then
      run_uninstall "$default_dir"
      [ -e "$programs_dir/VORNIX7 Logger.lnk" ] && why="${why:+$why; }the second logger's Start-menu entry stayed"
      has_key "$plain_key" && why="${why:+$why; }the second logger's uninstall entry stayed"
      [ -f "$programs_dir/$name.lnk" ] || why="${why:+$why; }removing the second took the first's Start-menu entry"
      has_key "$key" || why="${why:+$why; }removing the second took the first's uninstall entry"
      [ -f "$inst_dir/VORNIX7_Logger.exe" ] || why="${why:+$why; }removing the second took the first's program"
    fi
  fi
  tally "$arch: installer: a second logger in another folder has entries of its own" "$why"

  why=
  if [ ! -f "$inst_dir/uninstall.exe" ]; then
    why="no uninstaller"
  else
    echo "kept" >>"$log"
    run_uninstall "$inst_dir"
    local left
    left=$(find "$inst_dir" -mindepth 1 -printf '%P ' 2>/dev/null || true)
    [ "$left" = "logfile.txt " ] || why="the program's folder holds more than the log: $left"
    [ -e "$programs_dir/$name.lnk" ] && why="${why:+$why; }the Start-menu entry is still there"
    startup_lnk "$name" && why="${why:+$why; }the Startup shortcut is still there"
    has_key "$key" && why="${why:+$why; }the uninstall entry is still there"
    grep -q '^kept$' "$log" 2>/dev/null || why="${why:+$why; }the log is gone"
  fi
  tally "$arch: uninstaller: removes the program, keeps the log" "$why"
}

# The end-to-end runs of the real program (their cases join the tally).
end_to_end() {
  local e2e="$root/scripts/test-windows-e2e.sh" e2e_log="$build/e2e.wine.log" status=0 n_passed n_failed version=
  [ -f "$e2e" ] || return 0
  [ "$arch" = "$win7_arch" ] && version=win7
  echo "== $arch: end-to-end runs (scripts/test-windows-e2e.sh)${version:+, Wine reporting Windows 7}"
  BUILD_DIR="$build" SIM="$sim" E2E_WINDOWS_VERSION="$version" bash "$e2e" 2>&1 | tee "$e2e_log" ||
    status=${PIPESTATUS[0]}
  n_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$e2e_log" | tail -1)
  n_failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests, listed below.*/\1/p' "$e2e_log" | tail -1)
  passed=$((passed + ${n_passed:-0}))
  failed=$((failed + ${n_failed:-0}))
  if [ "$status" -ne 0 ] || [ -z "$n_passed" ]; then
    broken+=("test-windows-e2e.sh on $arch (exit status $status, log: $e2e_log)")
  fi
}

for arch in "${archs[@]}"; do
  build=$(cd "$(build_of "$arch")" && pwd)
  arch_started=$(date +%s) before_passed=$passed before_failed=$failed before_skipped=$skipped
  wine_prefix "$build"
  test_programs
  echo "== $arch: checks of the programs and packages"
  check_tool_output
  shipped_programs
  workbook_check
  report_in_any_folder
  zip_contents
  installer_checks
  end_to_end
  arch_tallies+=("$arch: $((passed - before_passed)) passed, $((failed - before_failed)) failed ($((skipped - before_skipped)) skipped) in $(($(date +%s) - arch_started)) s")
done

printf '== Windows %s\n' "${arch_tallies[@]}"
echo "== Windows build under Wine: $passed passed, $failed failed ($skipped skipped) in $(($(date +%s) - started)) s"
if [ "${#broken[@]}" -gt 0 ]; then
  printf 'failed: %s\n' "${broken[@]}" >&2
  exit 1
fi

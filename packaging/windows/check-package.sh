#!/usr/bin/env bash
# The packages of one architecture, checked in its build's Wine prefix
# (scripts/test-windows.sh runs this after packaging/windows/package.sh):
#  - every shipped program: its imports against Windows 7 SP1's exports
#    (packaging/windows/check-imports.sh), only DLLs that come with Windows,
#    under 3 MB;
#  - the zip's files;
#  - the installer silently into the build folder, the right architecture's
#    programs installed, the installed program run once against the
#    simulator on 127.0.0.1, an update, a second logger in another folder
#    with entries of its own, the uninstalls keeping the log.
# Prints a line per check, "[       OK ] NAME" or "[  FAILED  ] NAME: WHY";
# exit status 1 when any failed.
# Usage: check-package.sh BUILD PACKAGE_DIR ZIP SETUP
#   SIM  the host's vornix7-sim (default: build/tools/sim/vornix7-sim)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
build=$(cd "$1" && pwd) pkg_dir=$2 zip_file=$3 setup_file=$4
sim=${SIM:-$root/build/tools/sim/vornix7-sim}
wine_prefix "$build" >&2
arch=$wine_arch
failed=0
# A fault found by the check under way.
no() { why="${why:+$why; }$1"; }
# One check: $1 name, $2 empty when it passed, else why it failed.
tally() {
  if [ -z "$2" ]; then
    echo "[       OK ] $1"
  else
    echo "[  FAILED  ] $1: $2"
    failed=1
  fi
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
  report=$(bash "$root/packaging/windows/check-imports.sh" "${exes[@]}") || why="imports refused: see above"
  echo "$report" | sed 's/^/  /'
  for exe in "${exes[@]}"; do
    imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | tr -d '\r')
    for dll in $imports; do
      [[ "$system_dlls" == *" $dll "* ]] || no "$(basename "$exe") imports $dll"
    done
    [ "$(stat -c %s "$exe")" -lt 3000000 ] || no "$(basename "$exe") is not under 3 MB"
  done
  tally "$arch: shipped programs load on Windows 7 SP1, system DLLs only, under 3 MB" "$why"
}

# The zip: the programs, the settings file and the README, text in CR LF.
zip_contents() {
  local unzipped="$build/package-test/zip" f file why=
  if [ ! -f "$zip_file" ]; then
    tally "$arch: zip" "no zip made"
    return
  fi
  rm -rf "$unzipped"
  mkdir -p "$unzipped"
  (cd "$unzipped" && unzip -q "$zip_file")
  for f in VORNIX7_Logger.exe vornix7-check.exe vornix7-report.exe uPlot.iife.min.js uPlot.min.css \
    VORNIX7_Logger.ini README.txt; do
    [ -s "$unzipped/VORNIX7_Logger/$f" ] || no "$f missing"
  done
  for f in VORNIX7_Logger.ini README.txt; do
    file="$unzipped/VORNIX7_Logger/$f"
    [ -f "$file" ] && [ "$(grep -c $'\r$' "$file")" -ne "$(wc -l <"$file")" ] && no "$f not CR LF"
  done
  grep -q $'^URL=http://192\\.168\\.1\\.100/\r$' "$unzipped/VORNIX7_Logger/VORNIX7_Logger.ini" ||
    no "the settings file is not the example"
  for f in "$unzipped"/VORNIX7_Logger/*.exe; do
    [ "$(pe_arch "$f")" = "$arch" ] || no "$(basename "$f") is not $arch"
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

# --- The installer

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

# One step of the installer's checks: $1 its name, $2 the file an earlier
# step leaves (else $3 says what is missing), $4 the function of its checks.
step() {
  why=
  if [ -f "$2" ]; then "$4"; else why=$3; fi
  tally "$arch: $1" "$why"
}

installed_program_runs() {
  local logger_pid
  if ! start_sim "$sim" "$inst_root" --max-seconds 60; then
    why="the simulator did not start"
  else
    port=$sim_port
    # The installed settings pointed at the simulator and a log of the
    # test's own; everything else as installed.
    sed -i -e "s|^URL=.*|URL=http://127.0.0.1:$port/\r|" -e "s|^LogfileName=.*|LogfileName=${win_log//\\/\\\\}\r|" \
      -e $'s|^PollInterval=.*|PollInterval=1\r|' "$ini"
    (cd "$inst_root" && exec timeout 60 "$wine" "$inst_dir/VORNIX7_Logger.exe" >"$inst_root/out.txt" 2>"$inst_root/err.txt") &
    logger_pid=$!
    wait_until 15 has_lines "$log" 2 || true
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
}

# Installed again over it, now with "Start with Windows": the earlier
# answers stay, the window starts minimized, a Startup shortcut is made.
update_keeps_the_answers() {
  run_setup /AUTOSTART "/D=$win_inst_dir"
  grep -q "^URL=http://127\.0\.0\.1:$port/"$'\r$' "$ini" || why="the earlier URL was not kept"
  grep -qF "LogfileName=$win_log"$'\r' "$ini" || no "the earlier log file was not kept"
  grep -q $'^PollInterval=1\r$' "$ini" || no "the other settings were not kept"
  grep -q $'^StartMinimized=1\r$' "$ini" || no "StartMinimized is not 1"
  startup_lnk "$name" || no "no Startup shortcut"
}

# A second logger, in the default folder: it gets the plain entries, and
# the first keeps its own; removing the second leaves the first's.
second_logger_has_its_own_entries() {
  run_setup
  [ -f "$default_dir/VORNIX7_Logger.exe" ] || why="nothing installed in the default folder"
  [ -f "$programs_dir/VORNIX7 Logger.lnk" ] || no "no Start-menu entry 'VORNIX7 Logger'"
  [ -f "$programs_dir/$name.lnk" ] || no "the first logger lost its Start-menu entry"
  has_key "$plain_key" || no "no uninstall entry $plain_key"
  has_key "$key" || no "the first logger lost its uninstall entry"
  [ "$(key_value "$key" InstallLocation)" = "$win_inst_dir" ] ||
    no "the first logger's entry names '$(key_value "$key" InstallLocation)'"
  [ "$(key_value "$key" DisplayName)" != "$(key_value "$plain_key" DisplayName)" ] ||
    no "both entries are named '$(key_value "$key" DisplayName)'"
  if [ -f "$default_dir/uninstall.exe" ]; then
    run_uninstall "$default_dir"
    [ -e "$programs_dir/VORNIX7 Logger.lnk" ] && no "the second logger's Start-menu entry stayed"
    has_key "$plain_key" && no "the second logger's uninstall entry stayed"
    [ -f "$programs_dir/$name.lnk" ] || no "removing the second took the first's Start-menu entry"
    has_key "$key" || no "removing the second took the first's uninstall entry"
    [ -f "$inst_dir/VORNIX7_Logger.exe" ] || no "removing the second took the first's program"
  fi
}

uninstall_keeps_the_log() {
  echo "kept" >>"$log"
  run_uninstall "$inst_dir"
  local left
  left=$(find "$inst_dir" -mindepth 1 -printf '%P ' 2>/dev/null || true)
  [ "$left" = "logfile.txt " ] || why="the program's folder holds more than the log: $left"
  [ -e "$programs_dir/$name.lnk" ] && no "the Start-menu entry is still there"
  startup_lnk "$name" && no "the Startup shortcut is still there"
  has_key "$key" && no "the uninstall entry is still there"
  grep -q '^kept$' "$log" 2>/dev/null || no "the log is gone"
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
      [ -s "$inst_dir/$f" ] || no "$f not installed"
    done
    # The programs of this Windows' architecture (the uninstaller is the
    # installer's own, 32-bit).
    for f in "$inst_dir"/*.exe; do
      [ "$(basename "$f")" = uninstall.exe ] && continue
      [ "$(pe_arch "$f")" = "$arch" ] || no "$(basename "$f") is $(pe_arch "$f"), not $arch"
    done
    if [ -f "$ini" ]; then
      grep -q $'^URL=http://192\\.168\\.1\\.100/\r$' "$ini" || no "URL is not the default"
      grep -qiE $'^LogfileName=C:\\\\users\\\\[^\\\\]+\\\\Documents\\\\VORNIX7_logfile\\.txt\r$' "$ini" ||
        no "LogfileName is not in the user's Documents"
      grep -q $'^StartMinimized=0\r$' "$ini" || no "StartMinimized changed without being asked"
    fi
    [ -f "$programs_dir/$name.lnk" ] || no "no Start-menu entry '$name'"
    startup_lnk "$name" && no "a Startup shortcut without being asked"
    has_key "$key" || no "no uninstall entry $key"
  fi
  tally "$arch: installer: silent install with the default answers, the $arch programs" "$why"

  step "installed program: OK lines from the simulator, ends on WM_CLOSE" "$inst_dir/VORNIX7_Logger.exe" "nothing installed" installed_program_runs
  step "installer: update with start with Windows keeps the answers" "$ini" "nothing installed" update_keeps_the_answers
  step "installer: a second logger in another folder has entries of its own" "$ini" "nothing installed" second_logger_has_its_own_entries
  step "uninstaller: removes the program, keeps the log" "$inst_dir/uninstall.exe" "no uninstaller" uninstall_keeps_the_log
}

shipped_programs
zip_contents
installer_checks
exit "$failed"

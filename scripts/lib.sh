# shellcheck shell=bash
# Shell functions the scripts and the script tests share: . scripts/lib.sh

# fetch_debian_source PACKAGE VERSION WORK
# Fetches Debian's source package PACKAGE=VERSION through apt and unpacks it
# into WORK/src/tree. apt sees deb-src entries made from this machine's own
# sources (deb822 files with their Types turned into deb-src, one-line
# entries with "deb" turned into "deb-src"), kept with its lists and cache
# in a private apt folder WORK/apt: the system's lists are not touched.
fetch_debian_source() {
  local package=$1 version=$2 work=$3
  local apt_dir="$work/apt" src="$work/src"
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d" "$apt_dir/cache/archives/partial"
  shopt -s nullglob
  local n=0 f
  for f in /etc/apt/sources.list.d/*.sources; do
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$n.sources"
    n=$((n + 1))
  done
  : >"$apt_dir/sources.list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f" >>"$apt_dir/sources.list"
  done
  shopt -u nullglob

  local apt_opts=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "Debug::NoLocking=1"
    -o "APT::Sandbox::User=root"
  )
  apt-get "${apt_opts[@]}" -qq update >&2
  rm -rf "$src"
  mkdir -p "$src"
  (cd "$src" && apt-get "${apt_opts[@]}" -qq source --download-only "$package=$version" >&2)
  local dsc
  dsc=$(find "$src" -maxdepth 1 -name "${package}_*.dsc" | head -1)
  if [ -z "$dsc" ]; then
    echo "apt-get source gave no ${package}_*.dsc for $version" >&2
    return 1
  fi
  (cd "$src" && dpkg-source --no-check -x "$(basename "$dsc")" tree >&2)
}

# need PROGRAM WHERE   prints PROGRAM's path, or says it is missing (from
# WHERE) and fails.
need() { command -v "$1" || { echo "$1 is not installed ($2)" >&2; return 1; }; }

# wait_until SECONDS COMMAND...   runs COMMAND every 0.05 s until it
# succeeds; fails after SECONDS.
wait_until() {
  local steps _
  steps=$(awk -v s="$1" 'BEGIN { print int(s * 20) }')
  shift
  for _ in $(seq "$steps"); do
    "$@" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# stop_pids PID...   asks each to end (SIGTERM), and ends any still there
# after 5 s (SIGKILL).
stop_pids() {
  local pid
  for pid in "$@"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "$@"; do
    wait_until 5 eval "! kill -0 $pid" || kill -KILL "$pid" 2>/dev/null || true
  done
}

# has_lines FILE N   FILE has at least N lines.
has_lines() { [ -f "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ]; }

# start_sim SIM DIR [ARGS...]   vornix7-sim on a free loopback port, its
# output in DIR/sim.out and DIR/sim.err; sets sim_pid, sim_port and sim_url
# (fails when it has not said its port within 5 s). The caller ends it.
# shellcheck disable=SC2034
start_sim() {
  local program=$1 dir=$2
  shift 2
  "$program" --port 0 --quiet "$@" >"$dir/sim.out" 2>"$dir/sim.err" &
  sim_pid=$!
  wait_until 5 grep -q '^listening on ' "$dir/sim.out" || { echo "the simulator did not start" >&2; return 1; }
  sim_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$dir/sim.out")
  sim_url="http://127.0.0.1:$sim_port/"
}

# write_settings FILE [--crlf] KEY=VALUE...   the logger's settings file:
# URL and LogfileName in [VORNIX7], every other key in [Settings]; --crlf
# ends the lines as Windows editors do.
write_settings() {
  local file=$1 eol=$'\n' line settings="[Settings]" device="[VORNIX7]"
  shift
  [ "${1:-}" = --crlf ] && { eol=$'\r\n'; shift; }
  for line in "$@"; do
    case "${line%%=*}" in
      URL | LogfileName) device+="$eol$line" ;;
      *) settings+="$eol$line" ;;
    esac
  done
  printf '%s%s%s%s' "$settings" "$eol" "$device" "$eol" >"$file"
}

# --- Wine: a Windows build folder's own prefix, made for its architecture
# and kept in the folder (BUILD/wineprefix).

# The build's architecture, from the toolchain file CMake was given.
build_arch() {
  case "$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$1/CMakeCache.txt" 2>/dev/null)" in
    *i686*) echo i686 ;;
    *) echo x86_64 ;;
  esac
}

# wine_prefix BUILD   sets wine (the loader) and wine_arch (x86_64 or i686),
# exports WINEPREFIX, WINEARCH, WINEDEBUG and WINEDLLOVERRIDES; makes the
# prefix when missing or made by other Wine packages, with Wine's null
# graphics driver (no display needed).
wine_prefix() {
  local build=$1 key
  wine_arch=$(build_arch "$build")
  export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
  # No Mono or Gecko offers, no menu entries on the host for the
  # installer's shortcuts.
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
  if [ "$wine_arch" = i686 ]; then
    # A 32-bit Windows: a prefix of 32-bit Wine (wine32) alone.
    export WINEARCH=win32
    wine=/usr/lib/wine/wine
  else
    export WINEARCH=win64
    wine=/usr/lib/wine/wine64
  fi
  [ -x "$wine" ] || wine=wine
  # A prefix made by other Wine packages can fail every program (seen after
  # wine32 was installed beside wine64): it is made again when they change.
  key="$WINEARCH $(dpkg-query -W -f='${Package}:${Architecture}=${Version} ' wine wine64 wine32 libwine 2>/dev/null || true)"
  if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$WINEPREFIX/.vornix7-wine" 2>/dev/null)" != "$key" ]; then
    echo "== Wine changed since $WINEPREFIX was made: making it again"
    timeout 60 wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== Making the Wine prefix $WINEPREFIX ($WINEARCH)"
    mkdir -p "$WINEPREFIX"
    timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
    timeout 60 wineserver -w || true
    echo "$key" >"$WINEPREFIX/.vornix7-wine"
  fi
  if ! grep -q '^"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    timeout 60 wineserver -w || true
  fi
}

# wine_windows_version VERSION   what Windows the prefix reports (win7,
# win10, ...); "" for Wine's default.
wine_windows_version() {
  if [ -n "$1" ]; then
    timeout 60 "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
  else
    timeout 60 "$wine" reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
  fi
}

# wine_dpi N   the screen's DPI for the programs started next.
wine_dpi() {
  timeout 60 "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

# shellcheck shell=bash
# Sourced by the Windows test scripts: the Wine prefix of a Windows build
# folder, made for that build's architecture and kept in the folder.
#
#   wine_prefix BUILD_FOLDER
#     sets wine (the loader to run programs with), wine_arch (x86_64 or
#     i686) and exports WINEPREFIX, WINEARCH, WINEDEBUG and WINEDLLOVERRIDES;
#     makes the prefix if it is missing or was made by other Wine packages,
#     and sets Wine's null graphics driver (no display needed).
#   wine_windows_version VERSION   what Windows the prefix reports (win7,
#     win10, ...; winecfg -v does the same); "" for Wine's default
#   wine_dpi N                     the screen's DPI for programs started next

# The build's architecture, from the toolchain file CMake was given.
build_arch() {
  case "$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$1/CMakeCache.txt" 2>/dev/null)" in
    *i686*) echo i686 ;;
    *) echo x86_64 ;;
  esac
}

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
  # No display: Wine's null graphics driver, taken up by a new wineserver.
  if ! grep -q '^"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    timeout 60 wineserver -w || true
  fi
}

wine_windows_version() {
  if [ -n "$1" ]; then
    timeout 60 "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
  else
    timeout 60 "$wine" reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
  fi
}

wine_dpi() {
  timeout 60 "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

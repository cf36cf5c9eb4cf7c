#!/usr/bin/env bash
# What a Windows user downloads, made from the Windows build: a portable zip
# and a per-user installer (NSIS, 64-bit). Both hold the programs of the
# build's install tree (VORNIX7_Logger.exe, vornix7-check.exe and whatever
# else is installed beside them), stripped, the example settings file and a
# short README.txt, both with CR LF line ends.
#
# Usage: scripts/package-windows.sh [build folder]   (default: build-windows,
# built already). Writes <build>/package/VORNIX7_Logger-<version>-windows-x64.zip
# and <build>/package/VORNIX7_Logger-<version>-setup.exe and prints both paths.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-${BUILD_DIR:-$root/build-windows}}" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt" >&2; exit 1; }
pkg="$build/package"
stage="$pkg/VORNIX7_Logger"
rm -rf "$pkg"
mkdir -p "$stage"

cmake --install "$build" --prefix "$stage" --strip >/dev/null
[ -f "$stage/VORNIX7_Logger.exe" ] || { echo "VORNIX7_Logger.exe is not in the install tree" >&2; exit 1; }

crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf "$root/packaging/windows/README.txt" "$stage/README.txt"
crlf "$root/examples/VORNIX7_Logger.ini" "$pkg/VORNIX7_Logger.example.ini"

# The zip: the folder as a portable program, with the example settings as
# its settings file.
cp "$pkg/VORNIX7_Logger.example.ini" "$stage/VORNIX7_Logger.ini"
zip_file="$pkg/VORNIX7_Logger-$version-windows-x64.zip"
(cd "$pkg" && zip -qrX "$zip_file" VORNIX7_Logger)
rm "$stage/VORNIX7_Logger.ini"

# The installer's file lists: each installed file, and on removal each file
# and then each folder, deepest first (RMDir leaves a folder that still
# holds something, such as a log).
nsis_path() { printf '%s' "${1//\//\\}"; }
{
  (cd "$stage" && find . -type f | sed 's|^\./||' | sort) | while read -r file; do
    dir=$(dirname "$file")
    if [ "$dir" = . ]; then
      echo "SetOutPath \"\$INSTDIR\""
    else
      echo "SetOutPath \"\$INSTDIR\\$(nsis_path "$dir")\""
    fi
    echo "File \"$stage/$file\""
  done
  echo "SetOutPath \"\$INSTDIR\""
} >"$pkg/install_files.nsh"
{
  (cd "$stage" && find . -type f | sed 's|^\./||' | sort) | while read -r file; do
    echo "Delete \"\$INSTDIR\\$(nsis_path "$file")\""
  done
  (cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r) | while read -r dir; do
    echo "RMDir \"\$INSTDIR\\$(nsis_path "$dir")\""
  done
} >"$pkg/uninstall_files.nsh"
cp "$root/src/shell/win32/VORNIX7_Logger.ico" "$pkg/"

setup_file="$pkg/VORNIX7_Logger-$version-setup.exe"
makensis -V2 -DPKG="$pkg" -DVERSION="$version" -DOUTFILE="$setup_file" \
  "$root/packaging/windows/installer.nsi" >&2
echo "$zip_file"
echo "$setup_file"

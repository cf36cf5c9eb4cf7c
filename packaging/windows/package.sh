#!/usr/bin/env bash
# What a Windows user downloads, made from the Windows builds: one portable
# zip per architecture (windows-x64 for 64-bit Windows, windows-x86 for
# 32-bit) and one per-user installer (NSIS, a 32-bit program that runs on
# both) holding the programs of every build given: it installs the 64-bit
# ones on 64-bit Windows and the 32-bit ones on 32-bit Windows. Each holds
# the programs of its build's install tree (VORNIX7_Logger.exe,
# vornix7-check.exe and whatever else is installed beside them), stripped,
# the example settings file and a short README.txt, both with CR LF line
# ends.
#
# Usage: packaging/windows/package.sh [build folder...]   (default: build-windows
# and build-windows-i686, those that are built). The architecture of each
# comes from its toolchain file. Writes into PACKAGE_DIR (default: the first
# build folder's package/) and prints one line per file made:
#   zip x86_64 <path>
#   zip i686 <path>
#   setup <path>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
if [ "$#" -eq 0 ]; then
  for dir in "$root/build-windows" "$root/build-windows-i686"; do
    [ -f "$dir/CMakeCache.txt" ] && set -- "$@" "$dir"
  done
fi
[ "$#" -gt 0 ] || { echo "no Windows build folder given or found" >&2; exit 1; }
first=$(cd "$1" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$first/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $first/CMakeCache.txt" >&2; exit 1; }
pkg=${PACKAGE_DIR:-$first/package}
rm -rf "$pkg"
mkdir -p "$pkg"

crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf "$root/examples/VORNIX7_Logger.ini" "$pkg/VORNIX7_Logger.example.ini"
cp "$root/src/shell/win32/VORNIX7_Logger.ico" "$pkg/"
nsis_path() { printf '%s' "${1//\//\\}"; }
nsis_defines=()

for build in "$@"; do
  build=$(cd "$build" && pwd)
  arch=$(build_arch "$build")
  case "$arch" in
    x86_64) zip_arch=x64 ;;
    i686) zip_arch=x86 ;;
  esac
  stage="$pkg/$arch/VORNIX7_Logger"
  mkdir -p "$stage"
  cmake --install "$build" --prefix "$stage" --strip >/dev/null
  [ -f "$stage/VORNIX7_Logger.exe" ] || { echo "VORNIX7_Logger.exe is not in $build's install tree" >&2; exit 1; }
  crlf "$root/packaging/windows/README.txt" "$stage/README.txt"

  # The zip: the folder as a portable program, with the example settings
  # as its settings file.
  cp "$pkg/VORNIX7_Logger.example.ini" "$stage/VORNIX7_Logger.ini"
  zip_file="$pkg/VORNIX7_Logger-$version-windows-$zip_arch.zip"
  (cd "$pkg/$arch" && zip -qrX "$zip_file" VORNIX7_Logger)
  rm "$stage/VORNIX7_Logger.ini"
  echo "zip $arch $zip_file"

  # The installer's list of this architecture's files.
  (cd "$stage" && find . -type f | sed 's|^\./||' | sort) | while read -r file; do
    dir=$(dirname "$file")
    if [ "$dir" = . ]; then
      echo "SetOutPath \"\$INSTDIR\""
    else
      echo "SetOutPath \"\$INSTDIR\\$(nsis_path "$dir")\""
    fi
    echo "File \"$stage/$file\""
  done >"$pkg/install_files_$arch.nsh"
  echo "SetOutPath \"\$INSTDIR\"" >>"$pkg/install_files_$arch.nsh"
  nsis_defines+=("-DHAVE_${arch^^}")
done

# On removal each file any architecture installs, then each folder, deepest
# first (RMDir leaves a folder that still holds something, such as a log).
{
  for stage in "$pkg"/*/VORNIX7_Logger; do
    (cd "$stage" && find . -type f | sed 's|^\./||')
  done | sort -u | while read -r file; do
    echo "Delete \"\$INSTDIR\\$(nsis_path "$file")\""
  done
  for stage in "$pkg"/*/VORNIX7_Logger; do
    (cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||')
  done | sort -ru | while read -r dir; do
    echo "RMDir \"\$INSTDIR\\$(nsis_path "$dir")\""
  done
} >"$pkg/uninstall_files.nsh"

setup_file="$pkg/VORNIX7_Logger-$version-setup.exe"
makensis -V2 -DPKG="$pkg" -DVERSION="$version" -DOUTFILE="$setup_file" "${nsis_defines[@]}" \
  "$root/packaging/windows/installer.nsi" >&2
echo "setup $setup_file"

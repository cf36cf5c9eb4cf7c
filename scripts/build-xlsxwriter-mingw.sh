#!/usr/bin/env bash
# Builds libxlsxwriter for Windows (MinGW-w64) from Debian's own source
# package, the same release as the installed libxlsxwriter-dev, so the Linux
# and Windows vornix7-report write their workbooks with one library. Static,
# with its own minizip and zlib from Debian's libz-mingw-w64-dev.
#
# The source comes through apt as libcurl's does (fetch_debian_source in
# scripts/lib.sh: a private apt folder inside the build folder). The result
# is installed into <build>/xlsxwriter-mingw/prefix and reused while the
# version and this script are unchanged.
#
# Usage: scripts/build-xlsxwriter-mingw.sh [build folder] [target triple]
#   build folder   default: build-windows
#   target triple  default: x86_64-w64-mingw32 (i686-w64-mingw32 for 32-bit);
#                  the toolchain file is cmake/mingw-w64-<arch>.cmake, or
#                  TOOLCHAIN_FILE
# Prints the prefix on its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build-windows}}
triple=${2:-x86_64-w64-mingw32}
toolchain=${TOOLCHAIN_FILE:-$root/cmake/mingw-w64-${triple%%-*}.cmake}
mkdir -p "$build"
build=$(cd "$build" && pwd)
work="$build/xlsxwriter-mingw"
prefix="$work/prefix"
stamp="$prefix/.vornix7-xlsxwriter-version"

version=$(dpkg-query -W -f='${source:Version}' libxlsxwriter-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "libxlsxwriter-dev is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
zlib=/usr/$triple/lib/libz.a
if [ ! -f "$zlib" ] || [ ! -f "$toolchain" ]; then
  echo "$zlib (libz-mingw-w64-dev) or the toolchain file $toolchain is missing" >&2
  exit 1
fi

want="$version $triple $(sha256sum "$0" | cut -c1-16)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -f "$prefix/lib/libxlsxwriter.a" ]; then
  echo "libxlsxwriter $version for $triple: already built" >&2
  echo "$prefix"
  exit 0
fi

echo "== libxlsxwriter $version for $triple: fetching Debian's source package" >&2
. "$root/scripts/lib.sh"
fetch_debian_source libxlsxwriter "$version" "$work"

echo "== libxlsxwriter $version for $triple: cross-building (static)" >&2
start=$(date +%s)
rm -rf "$work/build" "$prefix"
cmake -S "$work/src/tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DUSE_SYSTEM_MINIZIP=OFF \
  -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR="/usr/$triple/include" >&2
cmake --build "$work/build" -j2 >&2
cmake --install "$work/build" >&2
echo "$want" >"$stamp"
echo "== libxlsxwriter $version for $triple: built in $(($(date +%s) - start)) s, $(stat -c %s "$prefix/lib/libxlsxwriter.a") bytes" >&2
echo "$prefix"

#!/usr/bin/env bash
# Builds the two libraries the Windows programs link statically, for
# MinGW-w64, 64-bit (x86_64) or 32-bit (i686), each from Debian's own source
# package, the same release as the installed -dev package, so the Linux and
# Windows programs use one release of each:
#  - libcurl: HTTP only (no TLS, zlib, SSH, IDN or PSL), with the threaded
#    resolver so a name lookup never blocks the program's thread, for
#    Windows 7 and later (_WIN32_WINNT=0x0601) as the programs that link it;
#  - libxlsxwriter: with its own minizip and zlib from Debian's
#    libz-mingw-w64-dev.
# The source comes through apt with a deb-src entry made from this machine's
# own apt sources, kept in a private apt folder inside the build folder (the
# system's lists are not touched; fetch_debian_source in scripts/lib.sh).
# Each is installed into <build>/<curl|xlsxwriter>-mingw/prefix and reused
# while its version, the architecture and this script are unchanged.
#
# Usage: scripts/build-mingw-libraries.sh [build folder] [architecture]
#   build folder   default: build-windows
#   architecture   x86_64 (default) or i686: cmake/mingw-w64-<architecture>.cmake
# Prints "libcurl PREFIX" and "libxlsxwriter PREFIX", a line each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
build=${1:-${BUILD_DIR:-$root/build-windows}}
arch=${2:-x86_64}
triple=$arch-w64-mingw32
toolchain="$root/cmake/mingw-w64-$arch.cmake"
zlib=/usr/$triple/lib/libz.a
for file in "$toolchain" "$zlib"; do
  [ -f "$file" ] || { echo "$file is missing (a toolchain file, or libz-mingw-w64-dev)" >&2; exit 1; }
done
mkdir -p "$build"
build=$(cd "$build" && pwd)
# A change to this script or the toolchain files builds again.
config=$(sha256sum "$0" "$toolchain" "$root/cmake/mingw-w64-common.cmake" | cut -c1-16 | tr '\n' ' ')

# build_library NAME DEV-PACKAGE [CMAKE ARGUMENTS...]; NAME is also the
# source package and the library file.
build_library() {
  local name=$1 dev=$2 version start
  shift 2
  local work="$build/${name#lib}-mingw"
  local prefix="$work/prefix" stamp="$work/prefix/.vornix7-version"
  version=$(dpkg-query -W -f='${source:Version}' "$dev" 2>/dev/null || true)
  if [ -z "$version" ]; then
    echo "$dev is not installed (scripts/install-deps.sh installs it)" >&2
    return 1
  fi
  local want="$version $arch $config"
  if [ "$(cat "$stamp" 2>/dev/null)" = "$want" ] && [ -f "$prefix/lib/$name.a" ]; then
    echo "$name $version for MinGW $arch: already built" >&2
  else
    echo "== $name $version for MinGW $arch: fetching Debian's source package" >&2
    fetch_debian_source "${name/#libcurl/curl}" "$version" "$work"
    echo "== $name $version for MinGW $arch: cross-building (static)" >&2
    start=$(date +%s)
    rm -rf "$work/build" "$prefix"
    cmake -S "$work/src/tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >&2
    cmake --build "$work/build" -j2 >&2
    cmake --install "$work/build" >&2
    echo "$want" >"$stamp"
    echo "== $name $version for MinGW $arch: built in $(($(date +%s) - start)) s, $(stat -c %s "$prefix/lib/$name.a") bytes" >&2
  fi
  echo "$name $prefix"
}

build_library libcurl libcurl4-openssl-dev -DCURL_TARGET_WINDOWS_VERSION=0x0601 \
  -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=OFF -DCURL_USE_OPENSSL=OFF \
  -DCURL_ZLIB=OFF -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF \
  -DENABLE_THREADED_RESOLVER=ON -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF
build_library libxlsxwriter libxlsxwriter-dev -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DUSE_SYSTEM_MINIZIP=OFF \
  -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR="/usr/$triple/include"

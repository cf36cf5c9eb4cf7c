#!/usr/bin/env bash
# Builds libcurl for Windows (MinGW-w64), 64-bit (x86_64) or 32-bit (i686),
# from Debian's own curl source package, the same release as the installed
# libcurl4-openssl-dev, so the Linux and both Windows builds link one libcurl. Static, HTTP only (no TLS,
# zlib, SSH, IDN or PSL), with the threaded resolver so a name lookup never
# blocks the program's thread.
#
# The source comes through apt with a deb-src entry made from this machine's
# own apt sources, kept in a private apt folder inside the build folder (the
# system's lists are not touched; fetch_debian_source in scripts/lib.sh).
# The result is installed into <build>/curl-mingw/prefix and reused while
# the version, the architecture and this script are unchanged. Built for
# Windows 7 and later (_WIN32_WINNT=0x0601), as the programs that link it.
#
# Usage: scripts/build-curl-mingw.sh [build folder] [architecture]
#   build folder   default: build-windows
#   architecture   x86_64 (default) or i686: cmake/mingw-w64-<architecture>.cmake
# Prints the prefix on its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build-windows}}
arch=${2:-x86_64}
toolchain="$root/cmake/mingw-w64-$arch.cmake"
if [ ! -f "$toolchain" ]; then
  echo "no toolchain file for the architecture '$arch' ($toolchain)" >&2
  exit 1
fi
mkdir -p "$build"
build=$(cd "$build" && pwd)
work="$build/curl-mingw"
prefix="$work/prefix"
stamp="$prefix/.vornix7-curl-version"

version=$(dpkg-query -W -f='${source:Version}' libcurl4-openssl-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "libcurl4-openssl-dev is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

# The stamp names the version, the architecture and this script's own text,
# so a change to the configuration below builds again too.
want="$version $arch $(sha256sum "$0" "$toolchain" "$root/cmake/mingw-w64-common.cmake" | cut -c1-16 | tr '\n' ' ')"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -f "$prefix/lib/libcurl.a" ]; then
  echo "libcurl $version for MinGW $arch: already built" >&2
  echo "$prefix"
  exit 0
fi

echo "== libcurl $version for MinGW $arch: fetching Debian's source package" >&2
. "$root/scripts/lib.sh"
fetch_debian_source curl "$version" "$work"
src="$work/src"

echo "== libcurl $version for MinGW $arch: cross-building (static, HTTP only)" >&2
start=$(date +%s)
rm -rf "$work/build" "$prefix"
cmake -S "$src/tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCURL_TARGET_WINDOWS_VERSION=0x0601 \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DHTTP_ONLY=ON \
  -DCURL_USE_SCHANNEL=OFF -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=OFF -DCURL_USE_LIBSSH2=OFF \
  -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF -DENABLE_THREADED_RESOLVER=ON \
  -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF >&2
cmake --build "$work/build" -j2 >&2
cmake --install "$work/build" >&2
echo "$want" >"$stamp"
echo "== libcurl $version for MinGW $arch: built in $(($(date +%s) - start)) s, $(stat -c %s "$prefix/lib/libcurl.a") bytes" >&2
echo "$prefix"

# Cross-build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686):
#   cmake -S . -B build-windows-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCURL_DIR=<prefix>/lib/cmake/CURL
# (scripts/test-windows.sh does this, with libcurl from
# `scripts/build-mingw-libraries.sh build-windows-i686 i686`). The rest, shared
# with x86_64, is in mingw-w64-common.cmake: everything linked statically. The
# i686 compiler unwinds with DWARF-2 tables, so without -static every program
# would need libgcc_s_dw2-1.dll beside it.
set(MINGW_W64_TRIPLE i686-w64-mingw32)
set(MINGW_W64_PROCESSOR x86)
# 32-bit Wine (wine32), in a prefix made with WINEARCH=win32.
set(MINGW_W64_WINE /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

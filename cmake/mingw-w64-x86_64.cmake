# Cross-build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCURL_DIR=<prefix>/lib/cmake/CURL
# (scripts/test-windows.sh does this, with libcurl from scripts/build-mingw-libraries.sh); it chooses
# the Win32 window toolkit, so the build needs no Qt.
# The rest is in mingw-w64-common.cmake.
set(MINGW_W64_TRIPLE x86_64-w64-mingw32)
set(MINGW_W64_PROCESSOR x86_64)
set(MINGW_W64_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

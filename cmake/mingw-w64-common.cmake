# What both MinGW-w64 toolchain files share; each sets MINGW_W64_TRIPLE,
# MINGW_W64_PROCESSOR and MINGW_W64_WINE, then includes this.
# The posix threading variant, since the tests use std::thread and
# std::mutex; everything linked statically, so the .exe files run under
# Wine (or on Windows) without MinGW's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_W64_PROCESSOR})

set(CMAKE_C_COMPILER ${MINGW_W64_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_W64_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_W64_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_W64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest (and test discovery) run the programs through Wine.
if(EXISTS ${MINGW_W64_WINE})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MINGW_W64_WINE})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()

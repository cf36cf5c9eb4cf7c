# GoogleTest: the installed package for a native build. A cross-build (for
# Windows with MinGW-w64) builds it here from the sources that Debian's
# googletest package ships, which names its targets as the package does
# (GTest::gtest, GTest::gtest_main, ...).
if(CMAKE_CROSSCOMPILING)
  set(VORNIX7_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a cross-build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VORNIX7_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The test programs cannot run at build time; ctest lists their tests
  # when it runs them, through the cross-compiling emulator.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
else()
  find_package(GTest REQUIRED)
endif()

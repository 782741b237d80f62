# The Windows build (cmake/mingw-w64-i686.cmake, cmake/mingw-w64-x86_64.cmake). The library's
# platform layer is shared/orvo/platform/windows; the benchmarks and fuzz targets stay on
# Linux, and GoogleTest, which Debian ships as source only for other targets, is built here
# from that source.
if(ORVO_BUILD_BENCH)
  message(STATUS "Windows build: benchmarks are not built")
  set(ORVO_BUILD_BENCH OFF)
endif()
if(ORVO_BUILD_FUZZ)
  message(FATAL_ERROR "ORVO_BUILD_FUZZ needs Clang on Linux")
endif()

if(ORVO_BUILD_TESTS)
  set(ORVO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree (Debian's libgtest-dev)")
  if(NOT EXISTS ${ORVO_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest source at ${ORVO_GOOGLETEST_SOURCE} (install libgtest-dev)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # Its own CMake file gives the GTest::gtest, GTest::gtest_main and GTest::gmock targets.
  add_subdirectory(${ORVO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# The Wine prefix the tests run in (see the toolchain files), made once here so that the test
# discovery of parallel builds does not race to create it. Wine's Mono and Gecko (for .NET
# programs and HTML) are not wanted: the overrides keep wineboot from looking for them.
# wineboot is started through the build's own loader, so a 64-bit prefix never needs the
# 32-bit one.
if(ORVO_BUILD_TESTS AND CMAKE_CROSSCOMPILING_EMULATOR AND NOT EXISTS ${ORVO_WINEPREFIX}/system.reg)
  message(STATUS "Creating the Wine prefix ${ORVO_WINEPREFIX} (${ORVO_WINEARCH})")
  find_program(ORVO_WINESERVER wineserver REQUIRED)
  # The registry files are written when the prefix's Wine server ends: wait for that.
  execute_process(COMMAND env ${ORVO_WINE_ENVIRONMENT} "WINEDLLOVERRIDES=mscoree,mshtml=" ${ORVO_WINE} wineboot --init
                  RESULT_VARIABLE ORVO_WINEBOOT_RESULT OUTPUT_QUIET ERROR_QUIET TIMEOUT 300)
  execute_process(COMMAND env WINEPREFIX=${ORVO_WINEPREFIX} ${ORVO_WINESERVER} -w TIMEOUT 120)
  if(NOT ORVO_WINEBOOT_RESULT EQUAL 0 OR NOT EXISTS ${ORVO_WINEPREFIX}/system.reg)
    message(FATAL_ERROR "wineboot --init could not create ${ORVO_WINEPREFIX} with ${ORVO_WINE} (${ORVO_WINEBOOT_RESULT})")
  endif()
endif()

# Without Wine to run them, the tests are built but listed only when CTest runs them (where it
# fails, never passes, without Wine).
if(ORVO_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(STATUS "Windows build: no Wine to run the tests; they are built only")
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

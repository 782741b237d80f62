# The part of the mingw-w64 toolchain files (mingw-w64-i686.cmake, mingw-w64-x86_64.cmake) that
# both share; each sets the target's names first:
#   ORVO_MINGW_PREFIX   the cross tools' prefix (i686-w64-mingw32, x86_64-w64-mingw32)
#   ORVO_WINE_LOADER    the Wine loader that runs this target's programs
#   ORVO_WINEARCH       the kind of Wine prefix they run in (win32, win64)
# Programs and tests are linked statically (no libstdc++, libgcc or winpthread DLLs beside
# them) and run under Wine: CTest and the test discovery start them through
# CMAKE_CROSSCOMPILING_EMULATOR, with a Wine prefix of the build's own (ORVO_WINEPREFIX,
# default <build>/wineprefix) so that no user's ~/.wine is touched. With ORVO_RUN_UNDER_WINE
# off, everything is built and nothing is run: for a machine whose Wine cannot run this
# target's programs (a kernel that runs no 32-bit programs cannot run the i686 ones).
if(NOT ORVO_MINGW_PREFIX OR NOT ORVO_WINE_LOADER OR NOT ORVO_WINEARCH)
  message(FATAL_ERROR "mingw-w64-common.cmake is included by a toolchain file (cmake/mingw-w64-i686.cmake, cmake/mingw-w64-x86_64.cmake)")
endif()
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GCC 12's win32 model has no std::thread, which the tests use.
set(CMAKE_C_COMPILER ${ORVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

option(ORVO_RUN_UNDER_WINE "Run the programs and tests of this build under Wine" ON)
if(ORVO_RUN_UNDER_WINE)
  # Debian keeps the 64-bit loader out of PATH, in /usr/lib/wine.
  find_program(ORVO_WINE NAMES ${ORVO_WINE_LOADER} PATHS /usr/lib/wine)
endif()
if(ORVO_RUN_UNDER_WINE AND ORVO_WINE)
  if(NOT ORVO_WINEPREFIX)
    set(ORVO_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  endif()
  set(ORVO_WINEPREFIX "${ORVO_WINEPREFIX}" CACHE PATH "Wine prefix the Windows programs and tests run in")
  # WINEARCH makes Wine refuse a prefix of the other kind instead of running in it.
  set(ORVO_WINE_ENVIRONMENT WINEPREFIX=${ORVO_WINEPREFIX} WINEARCH=${ORVO_WINEARCH} WINEDEBUG=-all)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${ORVO_WINE_ENVIRONMENT} ${ORVO_WINE})
endif()

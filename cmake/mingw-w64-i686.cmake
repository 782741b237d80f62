# Cross build for 32-bit Windows with mingw-w64 (Debian's g++-mingw-w64-i686-posix):
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# Programs and tests are linked statically (no libstdc++, libgcc or winpthread DLLs beside
# them) and run under Wine: CTest and the test discovery start them through
# CMAKE_CROSSCOMPILING_EMULATOR, with a Wine prefix of the build's own (ORVO_WINEPREFIX,
# default <build>/wineprefix) so that no user's ~/.wine is touched.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ORVO_MINGW_PREFIX i686-w64-mingw32)
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

find_program(ORVO_WINE wine)
if(ORVO_WINE)
  if(NOT ORVO_WINEPREFIX)
    set(ORVO_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  endif()
  set(ORVO_WINEPREFIX "${ORVO_WINEPREFIX}" CACHE PATH "Wine prefix the Windows programs and tests run in")
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${ORVO_WINEPREFIX} WINEDEBUG=-all ${ORVO_WINE})
endif()

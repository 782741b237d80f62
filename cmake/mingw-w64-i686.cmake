# Cross build for 32-bit Windows, the system's own target, with mingw-w64 (Debian's
# g++-mingw-w64-i686-posix); its programs run under Wine's 32-bit loader (wine32):
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVO_MINGW_PREFIX i686-w64-mingw32)
# Debian's wine, which starts the 32-bit loader.
set(ORVO_WINE_LOADER wine)
set(ORVO_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

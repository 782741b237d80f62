# Cross build for 64-bit Windows with mingw-w64 (Debian's g++-mingw-w64-x86-64-posix); its
# programs run under Wine's 64-bit loader (wine64), also where the kernel runs no 32-bit
# programs:
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVO_MINGW_PREFIX x86_64-w64-mingw32)
set(ORVO_WINE_LOADER wine64)
set(ORVO_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Cross build of the 32-bit (x86) Windows DLL, its command-line host and the
# tests with mingw-w64 (Debian: g++-mingw-w64-i686, binutils-mingw-w64-i686):
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZEDID_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

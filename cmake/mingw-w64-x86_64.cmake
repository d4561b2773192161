# Cross build of the 64-bit (x64) Windows DLL, its command-line host and the
# tests with mingw-w64 (Debian: g++-mingw-w64-x86-64, binutils-mingw-w64-x86-64):
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZEDID_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

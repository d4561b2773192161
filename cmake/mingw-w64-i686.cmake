# Cross build of the 32-bit Windows DLL, its command-line host and the tests
# with mingw-w64 (Debian: g++-mingw-w64-i686, binutils-mingw-w64-i686):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# The -posix compilers are the ones whose C++ runtime has std::mutex and
# std::thread, which GoogleTest needs; the library itself uses neither.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZEDID_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEDID_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEDID_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEDID_MINGW_TRIPLET}-windres)
# CMake cannot guess the binutils prefix from a compiler name ending in
# "-posix", so name them all.
set(CMAKE_AR ${ZEDID_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZEDID_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${ZEDID_MINGW_TRIPLET}-objdump CACHE FILEPATH "")
set(CMAKE_STRIP ${ZEDID_MINGW_TRIPLET}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ZEDID_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread go inside every module, so the DLL
# imports from system DLLs alone and a host needs nothing beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

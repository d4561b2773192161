# What the x86 and x64 mingw-w64 toolchain files share; each sets
# CMAKE_SYSTEM_PROCESSOR and ZEDID_MINGW_TRIPLET, then includes this.
# The -posix compilers are the ones whose C++ runtime has std::mutex and
# std::thread, which GoogleTest needs; the library itself uses neither.
set(CMAKE_SYSTEM_NAME Windows)

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

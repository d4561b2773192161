# The Windows side of the tests, for the mingw-w64 cross build: GoogleTest
# built from source with the cross compiler, Wine as the emulator of every
# Windows program, and the checks that only the real DLL can answer.
# Included from tests/CMakeLists.txt.

# ---- GoogleTest ---------------------------------------------------------
# No Windows build of GoogleTest is packaged; the sources are.
set(ZEDID_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for Windows")
if(NOT EXISTS ${ZEDID_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${ZEDID_GOOGLETEST_SOURCE} (Debian: googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZEDID_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# ---- Wine ---------------------------------------------------------------
# Every program runs in a private prefix inside the build tree, so nothing
# outside it is touched and a fresh build starts from a fresh prefix.
# A 64-bit program needs the 64-bit loader in a 64-bit prefix; a 32-bit one
# the 32-bit loader (which /usr/bin/wine prefers) in a 32-bit prefix.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZEDID_WINEARCH win64)
  set(ZEDID_PE_ARCH x86-64)
  set(ZEDID_WINE_NAMES wine64)
else()
  set(ZEDID_WINEARCH win32)
  set(ZEDID_PE_ARCH i386)
  set(ZEDID_WINE_NAMES wine)
endif()
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ZEDID_WINE NAMES ${ZEDID_WINE_NAMES} PATHS /usr/lib/wine /usr/lib64/wine)
  find_program(ZEDID_WINESERVER wineserver PATHS /usr/lib/wine /usr/lib64/wine)
  if(NOT ZEDID_WINE OR NOT ZEDID_WINESERVER)
    message(FATAL_ERROR "The Windows tests run under Wine: ${ZEDID_WINE_NAMES} and wineserver not found (Debian: wine, wine64)")
  endif()
  set(ZEDID_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # wine-run.sh.in is executable, and so is what is configured from it.
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# Wine shows the host's file system as drive Z:; a test program that has
# changed into a Windows folder still finds the sources through it.
set(ZEDID_HOST_ROOT "Z:")

# ---- Checks of the real DLL ----------------------------------------------
# The export table holds ZedidDLL90 alone, undecorated and with the caller
# removing the arguments; every import is a system DLL.
add_test(NAME windows_exports COMMAND ${CMAKE_COMMAND}
  -DOBJDUMP=${CMAKE_OBJDUMP}
  -DARCH=${ZEDID_PE_ARCH}
  -DLIBRARY=$<TARGET_FILE:zedid>
  -P ${CMAKE_CURRENT_SOURCE_DIR}/windows_exports_check.cmake)

# The version resource of the real DLL holds the project's version.
add_test(NAME windows_version COMMAND ${CMAKE_COMMAND}
  -DOBJDUMP=${CMAKE_OBJDUMP}
  -DLIBRARY=$<TARGET_FILE:zedid>
  -DVERSION=${PROJECT_VERSION}
  -DNAME=$<TARGET_FILE_NAME:zedid>
  -P ${CMAKE_CURRENT_SOURCE_DIR}/windows_version_check.cmake)

# Every golden case through zedid.exe and zedid.dll gives the expected files,
# and, when a native build's host is named, exactly what Linux gives.
set(ZEDID_REFERENCE_CLI "" CACHE FILEPATH "A native build's zedid, to compare the Windows runs with")
add_test(NAME windows_golden COMMAND ${PROJECT_SOURCE_DIR}/tools/golden-compare.sh
  --cases ${CMAKE_CURRENT_SOURCE_DIR}/golden
  --work ${CMAKE_CURRENT_BINARY_DIR}/golden-work
  --emulator ${CMAKE_CROSSCOMPILING_EMULATOR}
  --cli $<TARGET_FILE:zedid_cli>
  --reference "${ZEDID_REFERENCE_CLI}")

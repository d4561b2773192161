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
  find_program(ZEDID_WINE NAMES ${ZEDID_WINE_NAMES} PATHS /usr/lib/wine /usr/lib64/wine REQUIRED)
  find_program(ZEDID_WINESERVER wineserver REQUIRED)
  set(ZEDID_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
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

# ---- The README's host program ------------------------------------------
# The Windows host example of the README, cut from it at configure time and
# built as it stands (C, warnings as errors), then run beside the DLL on the
# worked example: a README that does not compile or run fails here.
enable_language(C)
set(ZEDID_README ${PROJECT_SOURCE_DIR}/README.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZEDID_README})
file(READ ${ZEDID_README} ZEDID_README_TEXT)
string(REGEX MATCH "<!-- windows-host-example -->\n```c\n([^`]*)```" ZEDID_README_HOST "${ZEDID_README_TEXT}")
if(NOT CMAKE_MATCH_1)
  message(FATAL_ERROR "README.md holds no windows-host-example block")
endif()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/readme_host.c "${CMAKE_MATCH_1}")
add_executable(readme_host ${CMAKE_CURRENT_BINARY_DIR}/readme_host.c)
target_include_directories(readme_host PRIVATE ${ZEDID_PUBLIC_INCLUDE})
target_compile_options(readme_host PRIVATE -Wall -Wextra -Werror)
# Beside zedid.dll, where LoadLibraryA looks first.
set_target_properties(readme_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
add_dependencies(readme_host zedid)
add_test(NAME readme_host COMMAND ${CMAKE_COMMAND}
  -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
  -DHOST=$<TARGET_FILE:readme_host>
  -DCASE=${CMAKE_CURRENT_SOURCE_DIR}/golden/worked_example
  -DWORK=${CMAKE_CURRENT_BINARY_DIR}/readme-host-work
  -P ${CMAKE_CURRENT_SOURCE_DIR}/readme_host_check.cmake)

# A host that passes a null module handle still gets every text.
add_executable(null_module_host ${CMAKE_CURRENT_SOURCE_DIR}/windows_null_module_host.c)
target_include_directories(null_module_host PRIVATE ${ZEDID_PUBLIC_INCLUDE})
target_compile_options(null_module_host PRIVATE -Wall -Wextra -Werror)
set_target_properties(null_module_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
add_dependencies(null_module_host zedid)
add_test(NAME null_module_host COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:null_module_host>)
set_tests_properties(null_module_host PROPERTIES
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  PASS_REGULAR_EXPRESSION "^\\[\\[FMT0016\\] Internal error - can't open intermediate file\\]\r?\n$")

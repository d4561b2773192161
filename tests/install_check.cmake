# Installs the build into a staging prefix and checks what a user of the
# install meets: the files in their places, the installed zedid, and two host
# projects built against the install, one with find_package(zedid) and one
# with pkg-config alone, each formatting the worked example through the
# installed library. Called by CTest with BUILD, SOURCE, WORK, VERSION,
# GENERATOR, CXX and CASE (a golden case: design.ONL, expected.asc,
# expected.result).
cmake_minimum_required(VERSION 3.16)
file(REMOVE_RECURSE ${WORK})
set(stage ${WORK}/stage)
set(failures "")

function(check_run what expected_status expected_out)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "OUTPUT" "COMMAND")
  file(REMOVE_RECURSE ${WORK}/run)
  file(MAKE_DIRECTORY ${WORK}/run)
  configure_file(${CASE}/design.ONL ${WORK}/run/design.ONL COPYONLY)
  execute_process(COMMAND ${arg_COMMAND} WORKING_DIRECTORY ${WORK}/run
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL "${expected_status}")
    list(APPEND failures "${what}: exit ${status}, expected ${expected_status}\n${out}${err}")
  elseif(NOT out STREQUAL "${expected_out}")
    list(APPEND failures "${what}: standard output [${out}], expected [${expected_out}]")
  elseif(arg_OUTPUT)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/run/${arg_OUTPUT} ${CASE}/expected.asc
      RESULT_VARIABLE different)
    if(different)
      list(APPEND failures "${what}: ${arg_OUTPUT} differs from ${CASE}/expected.asc")
    endif()
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}")
  endif()
endfunction()

file(READ ${CASE}/expected.result result)
string(STRIP "${result}" result)

# ---- The install ------------------------------------------------------------
step("cmake --install" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${stage})
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
foreach(file
    bin/zedid lib/libzedid.so.${VERSION} include/zedid.h share/man/man1/zedid.1
    share/doc/zedid/README.md share/doc/zedid/LICENSE share/doc/zedid/docs/format.md
    share/doc/zedid/examples/worked.ONL
    lib/cmake/zedid/zedidConfig.cmake lib/cmake/zedid/zedidConfigVersion.cmake lib/pkgconfig/zedid.pc)
  if(NOT EXISTS ${stage}/${file})
    list(APPEND failures "not installed: ${file}")
  endif()
endforeach()
foreach(link libzedid.so.${major}:libzedid.so.${VERSION} libzedid.so:libzedid.so.${major})
  string(REPLACE ":" ";" link "${link}")
  list(GET link 0 name)
  list(GET link 1 target)
  file(READ_SYMLINK ${stage}/lib/${name} points)
  if(NOT points STREQUAL target)
    list(APPEND failures "lib/${name} points to [${points}], expected ${target}")
  endif()
endforeach()
file(STRINGS ${stage}/include/zedid.h defines REGEX "^#define ZEDID_VERSION_STRING")
if(NOT defines STREQUAL "#define ZEDID_VERSION_STRING \"${VERSION}\"")
  list(APPEND failures "installed zedid.h says [${defines}], expected version ${VERSION}")
endif()

# The installed CLI finds the installed library from its own folder.
check_run("installed zedid --version" 0 "zedid ${VERSION}\n" COMMAND ${stage}/bin/zedid --version)
check_run("installed zedid" ${result} "" OUTPUT design.asc COMMAND ${stage}/bin/zedid design.ONL)

# ---- find_package -------------------------------------------------------------
set(consumer ${WORK}/find_package)
step("configuring the find_package consumer" ${CMAKE_COMMAND} -G ${GENERATOR}
  -S ${SOURCE}/tests/install/find_package -B ${consumer} -DCMAKE_CXX_COMPILER=${CXX}
  -DCMAKE_PREFIX_PATH=${stage} -DZEDID_WANTED_VERSION=${major})
step("building the find_package consumer" ${CMAKE_COMMAND} --build ${consumer})
file(STRINGS ${consumer}/CMakeCache.txt found REGEX "^zedid_DIR:")
if(NOT found STREQUAL "zedid_DIR:PATH=${stage}/lib/cmake/zedid")
  list(APPEND failures "find_package(zedid) found [${found}], not the staged package")
endif()
check_run("find_package consumer" ${result} "${VERSION} ${VERSION}\n" OUTPUT out.asc
  COMMAND ${consumer}/consumer design out.asc)

# A later major version is not what this package offers.
math(EXPR next "${major} + 1")
execute_process(COMMAND ${CMAKE_COMMAND} -G ${GENERATOR} -S ${SOURCE}/tests/install/find_package
  -B ${WORK}/find_package_next -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${stage}
  -DZEDID_WANTED_VERSION=${next} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
if(status EQUAL 0 OR NOT err MATCHES "version: ${VERSION}")
  list(APPEND failures "find_package(zedid ${next}) was not refused with the installed version:\n${err}")
endif()

# ---- pkg-config ---------------------------------------------------------------
find_program(PKG_CONFIG pkg-config)
find_program(MAKE NAMES make gmake)
if(NOT PKG_CONFIG OR NOT MAKE)
  list(APPEND failures "pkg-config and make are needed (Debian: pkg-config, make)")
else()
  set(ENV{PKG_CONFIG_PATH} ${stage}/lib/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --modversion zedid OUTPUT_VARIABLE modversion OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT modversion STREQUAL VERSION)
    list(APPEND failures "pkg-config --modversion zedid says [${modversion}], expected ${VERSION}")
  endif()
  set(consumer ${WORK}/pkgconfig)
  file(MAKE_DIRECTORY ${consumer})
  step("building the pkg-config consumer" ${MAKE} -C ${consumer}
    -f ${SOURCE}/tests/install/pkgconfig/Makefile SRCDIR=${SOURCE}/tests/install/pkgconfig PKG_CONFIG=${PKG_CONFIG})
  check_run("pkg-config consumer" ${result} "${VERSION} ${VERSION}\n" OUTPUT out.asc
    COMMAND ${consumer}/consumer design out.asc)
endif()

if(failures)
  string(REPLACE ";" "\n" failures "${failures}")
  message(FATAL_ERROR "${failures}")
endif()

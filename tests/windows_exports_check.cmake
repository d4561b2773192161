# Checks the real zedid.dll with the cross objdump: a PE DLL of the
# architecture asked for whose export table holds exactly ZedidDLL90,
# undecorated; whose export leaves the arguments to the caller (no "ret $n"
# on x86); and which imports from system DLLs only, so a host needs nothing
# beside it. Called by CTest, and by tools/check.sh for a DLL it cannot run,
# with OBJDUMP, LIBRARY and ARCH: i386 (PE32) or x86-64 (PE32+).
cmake_minimum_required(VERSION 3.16)
set(SystemDlls kernel32.dll user32.dll msvcrt.dll)

if(ARCH STREQUAL "i386")
  set(kind "a PE32 (Intel 80386) file")
  set(magic "PE32\\)")     # the optional header's magic 010b
  set(symbol _ZedidDLL90)      # C names carry a leading underscore on x86
elseif(ARCH STREQUAL "x86-64")
  set(kind "a PE32+ (x86-64) file")
  set(magic "PE32\\+\\)")   # magic 020b
  set(symbol ZedidDLL90)
else()
  message(FATAL_ERROR "ARCH must be i386 or x86-64, not '${ARCH}'")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY}
  OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()
set(failures "")

if(NOT headers MATCHES "file format pei-${ARCH}\n" OR NOT headers MATCHES "\nMagic[ \t]+0[12]0b[ \t]+\\(${magic}")
  list(APPEND failures "not ${kind}")
endif()
if(NOT headers MATCHES "Characteristics [^\n]*\n([^\n]*\n)*[ \t]*DLL\n")
  list(APPEND failures "not marked as a DLL")
endif()

# The export names stand after "[Ordinal/Name Pointer] Table", one a line.
set(exports "")
if(headers MATCHES "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]*\n)*)")
  string(REGEX MATCHALL "\\] [^\n]+" entries "${CMAKE_MATCH_1}")
  foreach(entry IN LISTS entries)
    string(SUBSTRING "${entry}" 2 -1 name)
    list(APPEND exports "${name}")
  endforeach()
endif()
if(NOT exports STREQUAL "ZedidDLL90")
  list(APPEND failures "exports are [${exports}], expected exactly [ZedidDLL90]")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" importlines "${headers}")
set(imports "")
foreach(line IN LISTS importlines)
  string(SUBSTRING "${line}" 10 -1 name)
  string(STRIP "${name}" name)
  list(APPEND imports "${name}")
  string(TOLOWER "${name}" lower)
  if(NOT lower IN_LIST SystemDlls)
    list(APPEND failures "imports from ${name}, which is not a system DLL")
  endif()
endforeach()
if(NOT imports)
  list(APPEND failures "no import table found")
endif()

# The default convention for plain functions: the export returns with a
# plain "ret" and the caller removes the six arguments. (x64 has one
# convention, so there it only shows the export is code that returns.)
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn --disassemble=${symbol} ${LIBRARY}
  OUTPUT_VARIABLE code RESULT_VARIABLE status)
string(REGEX MATCHALL "\tret[^\n]*" returns "${code}")
if(NOT status EQUAL 0 OR NOT returns)
  list(APPEND failures "cannot disassemble ${symbol}")
elseif(code MATCHES "\tret +\\$")
  list(APPEND failures "ZedidDLL90 removes its own arguments:\n${returns}")
endif()

if(failures)
  string(REPLACE ";" "\n" failures "${failures}")
  message(FATAL_ERROR "${LIBRARY}:\n${failures}\n\n${headers}")
endif()
file(SIZE ${LIBRARY} size)
string(REPLACE ";" " " imports "${imports}")
message(STATUS "${LIBRARY}: ${kind}, ${size} bytes; exports: ${exports}; imports: ${imports}")

# Checks the real zedid.dll with the cross objdump: a 32-bit PE DLL whose
# export table holds exactly ZedidDLL90, undecorated; whose export leaves the
# arguments to the caller (no "ret $n"); and which imports from system DLLs
# only, so a host needs nothing beside it. Called by CTest with OBJDUMP and
# LIBRARY.
cmake_minimum_required(VERSION 3.25)
set(SystemDlls kernel32.dll user32.dll msvcrt.dll)

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY}
  OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()
set(failures "")

if(NOT headers MATCHES "file format pei-i386")
  list(APPEND failures "not a 32-bit (Intel 80386) PE file")
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
# plain "ret" and the caller removes the six arguments.
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn --disassemble=_ZedidDLL90 ${LIBRARY}
  OUTPUT_VARIABLE code RESULT_VARIABLE status)
string(REGEX MATCHALL "\tret[^\n]*" returns "${code}")
if(NOT status EQUAL 0 OR NOT returns)
  list(APPEND failures "cannot disassemble _ZedidDLL90")
elseif(code MATCHES "\tret +\\$")
  list(APPEND failures "ZedidDLL90 removes its own arguments:\n${returns}")
endif()

if(failures)
  string(REPLACE ";" "\n" failures "${failures}")
  message(FATAL_ERROR "${LIBRARY}:\n${failures}\n\n${headers}")
endif()
file(SIZE ${LIBRARY} size)
message(STATUS "${LIBRARY}: ${size} bytes; exports: ${exports}; imports: ${imports}")

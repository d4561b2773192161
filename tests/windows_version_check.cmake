# Reads the version resource back from the built zedid.dll: the fixed part
# (file and product version, file type DLL) and the texts a user sees in the
# file's properties. Fails when the resource is missing. Called by CTest with
# OBJDUMP, LIBRARY, VERSION and NAME (the original file name).
cmake_minimum_required(VERSION 3.18)
set(failures "")

# The resource directory must list a resource of type 16 (RT_VERSION).
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()
if(NOT headers MATCHES "\\.rsrc Resource Directory")
  message(FATAL_ERROR "${LIBRARY} has no resource section")
endif()
if(NOT headers MATCHES "Entry: ID: 0x0*10[^0-9a-fA-F]")
  list(APPEND failures "the resource directory has no version entry (type 16)")
endif()

file(READ ${LIBRARY} image HEX)
string(TOLOWER "${image}" image)

# TEXT as UTF-16LE hex, as the resource stores its keys and values.
function(utf16_hex text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# The 32-bit little-endian number at byte OFFSET of the hex text HEX.
function(dword hex offset out)
  math(EXPR at "${offset} * 2")
  string(SUBSTRING "${hex}" ${at} 8 bytes)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
  math(EXPR value "0x${bytes}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

utf16_hex("VS_VERSION_INFO" key)
string(FIND "${image}" "${key}0000" at)
if(at LESS 0)
  message(FATAL_ERROR "${LIBRARY} has no VS_VERSION_INFO resource")
endif()
# The fixed part starts with its signature 0xFEEF04BD, after the key.
string(SUBSTRING "${image}" ${at} 200 block)
string(FIND "${block}" "bd04effe" signature)
math(EXPR odd "${signature} % 2")
if(signature LESS 0 OR odd)
  message(FATAL_ERROR "${LIBRARY}: VS_VERSION_INFO without its fixed part")
endif()
math(EXPR fixed "(${at} + ${signature}) / 2")
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
math(EXPR wantms "${major} * 65536 + ${minor}")
math(EXPR wantls "${patch} * 65536")
foreach(field "FileVersionMS:8:${wantms}" "FileVersionLS:12:${wantls}"
    "ProductVersionMS:16:${wantms}" "ProductVersionLS:20:${wantls}" "FileType:36:2")
  string(REPLACE ":" ";" field "${field}")
  list(GET field 0 name)
  list(GET field 1 offset)
  list(GET field 2 want)
  math(EXPR offset "${fixed} + ${offset}")
  dword("${image}" ${offset} value)
  if(NOT value EQUAL want)
    list(APPEND failures "dw${name} is ${value}, expected ${want}")
  endif()
endforeach()

# Each text: its key, zero-terminated, the padding to the next 32 bits, then
# the value up to its terminating zero.
foreach(entry "FileVersion=${VERSION}" "ProductVersion=${VERSION}" "OriginalFilename=${NAME}"
    "FileDescription=zedid netlist formatter" "ProductName=zedid")
  string(FIND "${entry}" "=" eq)
  string(SUBSTRING "${entry}" 0 ${eq} name)
  math(EXPR eq "${eq} + 1")
  string(SUBSTRING "${entry}" ${eq} -1 want)
  utf16_hex("${name}" keyhex)
  utf16_hex("${want}" wanthex)
  if(NOT image MATCHES "${keyhex}0000(0000)?${wanthex}0000")
    list(APPEND failures "no text ${name} = \"${want}\"")
  endif()
endforeach()

if(failures)
  string(REPLACE ";" "\n" failures "${failures}")
  message(FATAL_ERROR "${LIBRARY}:\n${failures}")
endif()
message(STATUS "${LIBRARY}: version resource ${VERSION}, ${NAME}")

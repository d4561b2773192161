# Fails unless the shared library's only defined dynamic symbol is ZedidDLL90.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX REPLACE "[^\n]* [A-Za-z] " "" names "${symbols}")
string(STRIP "${names}" names)
if(NOT names STREQUAL "ZedidDLL90")
  message(FATAL_ERROR "dynamic symbols of ${LIBRARY}:\n${symbols}")
endif()
message(STATUS "only ZedidDLL90 is exported")

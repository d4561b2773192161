# Runs the README's host program on the worked example: it must give the
# golden netlist, result and message lines, texts loaded from the DLL.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
configure_file(${CASE}/design.ONL ${WORK}/board.ONL COPYONLY)
execute_process(COMMAND ${EMULATOR} ${HOST} WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status OUTPUT_VARIABLE lines ERROR_VARIABLE errors)
file(READ ${CASE}/expected.result expected_status)
string(STRIP "${expected_status}" expected_status)
if(NOT status STREQUAL expected_status)
  message(FATAL_ERROR "status ${status}, not ${expected_status}\n${lines}${errors}")
endif()
string(REPLACE "\r\n" "\n" lines "${lines}")
file(READ ${CASE}/expected.messages expected)
# The golden file writes the summary line's own line feed as \n; puts adds one more.
string(REPLACE "\\n\n" "\n\n" expected "${expected}")
if(NOT lines STREQUAL expected)
  message(FATAL_ERROR "message lines differ:\n${lines}\nexpected:\n${expected}")
endif()
file(READ ${WORK}/board.asc netlist HEX)
file(READ ${CASE}/expected.asc golden HEX)
if(NOT netlist STREQUAL golden)
  message(FATAL_ERROR "board.asc is not the golden netlist")
endif()

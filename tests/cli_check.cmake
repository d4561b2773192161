# Runs the command-line host as a user does and checks exit status, standard
# output and standard error. Called by CTest with CLI, EMULATOR and WORK.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failures "")

# run(<expected exit> <stdout regex> <stderr regex> args...)
function(run expected outpattern errpattern)
  execute_process(COMMAND ${EMULATOR} ${CLI} ${ARGN}
    WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  if(NOT status STREQUAL "${expected}")
    list(APPEND failures "zedid ${ARGN}: exit ${status}, expected ${expected}\n${err}")
  elseif(NOT out MATCHES "${outpattern}")
    list(APPEND failures "zedid ${ARGN}: standard output\n${out}\ndoes not match ${outpattern}")
  elseif(NOT err MATCHES "${errpattern}")
    list(APPEND failures "zedid ${ARGN}: standard error\n${err}\ndoes not match ${errpattern}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

run(64 "^$" "no design given.*usage: zedid")
run(64 "^$" "unknown option --bogus" --bogus x)
run(64 "^$" "-o needs a file name" x -o)
run(64 "^$" "only one design" a b)
run(0 "^usage: zedid DESIGN" "^$" --help)
run(0 "^zedid [0-9]+\\.[0-9]+\\.[0-9]+\n$" "^$" --version)

# Each message is one line of standard error; the status is the result.
run(2 "^$" "^\\[FMT0016\\] Internal error - can't open intermediate file\n$" missing)
file(WRITE ${WORK}/empty.ONL "(pcb)")
run(2 "^$" "^\\[FMT0021\\] No parts in the design\n$" empty.onl -o empty.out)
if(NOT EXISTS ${WORK}/empty.out)
  list(APPEND failures "-o did not name the output file")
endif()
run(2 "^$" "^\\[FMT0021\\] No parts in the design\n$" empty)
if(NOT EXISTS ${WORK}/empty.asc)
  list(APPEND failures "the default output DESIGN.asc was not written")
endif()

if(EXISTS ${EXAMPLE})
  file(COPY ${EXAMPLE} DESTINATION ${WORK})
  get_filename_component(name ${EXAMPLE} NAME)
  run(${EXAMPLE_RESULT} "^$" "${EXAMPLE_MESSAGES}" ${name})
endif()

if(failures)
  string(REPLACE ";" "\n\n" failures "${failures}")
  message(FATAL_ERROR "${failures}")
endif()

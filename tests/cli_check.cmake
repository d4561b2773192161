# Runs the command-line host as a user does and checks exit status, standard
# output and standard error. Called by CTest with CLI, EMULATOR and WORK.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failures "")

# run(<expected exit> <stdout regex> <stderr regex> args...), standard
# input from the file ${input} when it is set.
function(run expected outpattern errpattern)
  if(DEFINED input)
    set(ARGN ${ARGN} INPUT_FILE ${input})
  endif()
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

# marked(var design pattern): PATTERN's lines as a run of several designs
# prints them for DESIGN: "DESIGN: LINE", and "zedid: DESIGN: " before zedid's own.
function(marked var design pattern)
  string(REGEX REPLACE "([^\n]*\n)" "${design}: \\1" pattern "${pattern}")
  string(REPLACE "${design}: zedid: " "zedid: ${design}: " pattern "${pattern}")
  set(${var} "${pattern}" PARENT_SCOPE)
endfunction()

# netlist(path what): PATH holds the netlist that -o wrote, else WHAT failed.
function(netlist path what)
  if(EXISTS ${path})
    file(SHA256 ${path} hash)
  endif()
  if(NOT hash STREQUAL written)
    set(failures "${failures};${what}" PARENT_SCOPE)
  endif()
endfunction()

# quiet(args...): -q drops exactly the library's progress lines (the summary,
# "Creating Netlist..." and "Done") and keeps every other line, the later
# lines of a warning too long for one line among them, with the same status.
function(quiet)
  execute_process(COMMAND ${EMULATOR} ${CLI} ${ARGN} WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE status ERROR_VARIABLE full)
  execute_process(COMMAND ${EMULATOR} ${CLI} -q ${ARGN} WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE quietstatus ERROR_VARIABLE quiet)
  string(REPLACE "\r" "" full "${full}")
  string(REPLACE "\r" "" quiet "${quiet}")
  # Removed one at a time: neighbouring lines share the line feed between them.
  set(expected "\n${full}")
  set(previous "")
  while(NOT expected STREQUAL previous)
    set(previous "${expected}")
    string(REGEX REPLACE "\n([^ \n]+: )?([0-9]+ Parts, [0-9]+ Library Parts, [0-9]+ Nets, [0-9]+ Pins|Creating Netlist\\.\\.\\.|Done)\n"
      "\n" expected "${expected}")
  endwhile()
  string(SUBSTRING "${expected}" 1 -1 expected)
  if(NOT quietstatus STREQUAL status)
    list(APPEND failures "zedid -q ${ARGN}: exit ${quietstatus}, without -q ${status}")
  elseif(NOT quiet STREQUAL expected)
    list(APPEND failures "zedid -q ${ARGN}: standard error\n${quiet}\nexpected\n${expected}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

run(64 "^$" "no design given.*usage: zedid")
run(64 "^$" "unknown option --bogus" --bogus x)
run(64 "^$" "-o needs a file name" x -o)
run(64 "^$" "^zedid: -o can be used with one design only" a b -o a.asc)
run(64 "^$" "^zedid: -o can be used with one design only" -o - a b)
run(64 "^$" "no design given" a .ONL)
run(0 "^usage: zedid \\[-q\\] DESIGN.*-o, --output=OUTPUT.*-d, --output-dir=DIR.*-q, --quiet" "^$" --help)
# A usage error: the problem, then a short usage naming --help.
foreach(case "unknown option -x|-qx" "option --out is ambiguous|--out;a" "option --quiet takes no value|--quiet=1;a"
    "-d needs a folder name|a;--output-dir" "-o and -d cannot be used together|-o;x;-d;y;a"
    "only one output folder can be given|-dx;-dy;a" "the output folder name is empty|--output-dir=;a"
    "standard input \\('-'\\) can only be the one design|-;a" "-d cannot name the netlist of standard input's design; use -o|-d;.;-"
    "a/b and c/b\\.ONL would both be written to out/b\\.asc|-d;out;a/b;c/b.ONL")
  string(REGEX MATCH "^([^|]*)\\|(.*)$" matched "${case}")
  run(64 "^$" "^zedid: ${CMAKE_MATCH_1}\nusage: zedid [^\n]*\nTry 'zedid --help' for more information\\.\n$" ${CMAKE_MATCH_2})
endforeach()
run(0 "^zedid [0-9]+\\.[0-9]+\\.[0-9]+\n$" "^$" --version)

# Each message is one line of standard error; the status is the result.
# The design file is looked for before the library is called.
run(2 "^$" "^zedid: no design file [^\n]*missing\\.ONL\n$" missing)
file(WRITE ${WORK}/empty.ONL "(pcb)")
run(2 "^$" "^\\[FMT0021\\] No parts in the design\n$" empty.onl -o empty.out)
run(2 "^$" "^\\[FMT0021\\] No parts in the design\n$" empty)
if(EXISTS ${WORK}/empty.out OR EXISTS ${WORK}/empty.asc)
  list(APPEND failures "a failed run created its output file")
endif()
# A failed run leaves an existing netlist as it was, and says so.
file(WRITE ${WORK}/empty.asc "kept")
run(2 "^$" "^\\[FMT0021\\] No parts in the design\nzedid: empty\\.asc was left as it was\n$" empty)
file(READ ${WORK}/empty.asc kept)
if(NOT kept STREQUAL "kept")
  list(APPEND failures "a failed run changed the existing netlist: ${kept}")
endif()
# An output that is the design file is refused before anything is written.
run(2 "^$" "^zedid: the output empty\\.ONL is the design file itself; nothing was written\n$" empty -o empty.ONL)
file(READ ${WORK}/empty.ONL design)
if(NOT design STREQUAL "(pcb)")
  list(APPEND failures "the design file was written: ${design}")
endif()
# A failed run sends nothing to standard output, and -q keeps its message.
run(2 "^$" "^\\[FMT0021\\] No parts in the design\n$" empty -o -)
run(2 "^$" "^\\[FMT0021\\] No parts in the design\nzedid: empty\\.asc was left as it was\n$" -q empty)
run(2 "^$" "^zedid: no design file [^\n]*missing\\.ONL\n$" --quiet missing)
if(EXISTS ${WORK}/-)
  list(APPEND failures "-o - created a file named -")
endif()

if(EXISTS ${EXAMPLE})
  file(COPY ${EXAMPLE} DESTINATION ${WORK})
  get_filename_component(name ${EXAMPLE} NAME)
  run(${EXAMPLE_RESULT} "^$" "${EXAMPLE_MESSAGES}" ${name})
  run(${EXAMPLE_RESULT} "^$" "${EXAMPLE_MESSAGES}" -o named.asc ${name})
  if(NOT EXISTS ${WORK}/named.asc)
    list(APPEND failures "-o did not name the output file")
  endif()
  # "--" ends the options: a design may begin with '-'.
  configure_file(${EXAMPLE} ${WORK}/-dash.ONL COPYONLY)
  run(${EXAMPLE_RESULT} "^$" "${EXAMPLE_MESSAGES}" -- -dash)
  if(NOT EXISTS ${WORK}/-dash.asc)
    list(APPEND failures "zedid -- -dash wrote no -dash.asc")
  endif()

  # -o -: the netlist's bytes exactly on standard output (no line end
  # translated again on Windows), the messages on standard error.
  execute_process(COMMAND ${EMULATOR} ${CLI} ${name} -o - WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE status OUTPUT_FILE ${WORK}/stdout.asc ERROR_VARIABLE err)
  string(REPLACE "\r" "" err "${err}")
  file(SHA256 ${WORK}/stdout.asc piped)
  file(SHA256 ${WORK}/named.asc written)
  if(NOT status STREQUAL "${EXAMPLE_RESULT}" OR NOT err MATCHES "${EXAMPLE_MESSAGES}")
    list(APPEND failures "zedid ${name} -o -: exit ${status}\n${err}")
  elseif(NOT piped STREQUAL written)
    file(READ ${WORK}/stdout.asc text)
    list(APPEND failures "zedid ${name} -o -: standard output is not the netlist -o writes:\n${text}")
  endif()
  if(EXISTS ${WORK}/-)
    list(APPEND failures "-o - created a file named -")
  endif()

  # -q keeps the warning alone, and every line of one too long for a line.
  run(${EXAMPLE_RESULT} "^$" "^WARNING: Reference is too long 'CONN123', truncated to CONN12\n$" -q ${name})
  quiet(${name})
  file(READ ${EXAMPLE} text)
  string(REPEAT "R" 140 long)
  string(REPLACE "CONN123" "${long}" text "${text}")
  file(WRITE ${WORK}/long.ONL "${text}")
  run(1 "^$" "^WARNING: Reference is too long '\n${long}\n', truncated to RRRRRR\n$" -q long)
  quiet(long)
  quiet(empty)
  # A piece of a long name that reads like the summary is still a warning's.
  string(REPEAT "0" 100 zeros)
  set(summary "${zeros}1 Parts, 1 Library Parts, 1 Nets, 1 Pins")
  string(REPLACE "(net N00012" "(net \"${summary}\"" text "${text}")
  file(WRITE ${WORK}/summary.ONL "${text}")
  run(1 "^$" "^WARNING: Reference is too long '\n${long}\n', truncated to RRRRRR\nWARNING: Name contains illegal characters '\n${summary}\n', changed to X00003\nWARNING: Name is too long '\n${summary}\n', changed to X00003\n$"
    -q summary)

  # A destination longer than the classic path limit of 260 characters.
  string(REPEAT "d" 120 part)
  file(MAKE_DIRECTORY ${WORK}/${part}/${part}/${part})
  set(deep ${WORK}/${part}/${part}/${part}/deep.asc)
  run(1 "^$" "${EXAMPLE_MESSAGES}" ${name} -o ${deep})
  file(GLOB left ${WORK}/${part}/${part}/${part}/.*)
  if(NOT EXISTS ${deep} OR left)
    list(APPEND failures "a long destination was not written, or left ${left}")
  endif()

  # Several designs: each its own DESIGN.asc, every line marked with its
  # design, a line naming each design not written cleanly after its
  # messages, the worst status.
  file(READ ${EXAMPLE} text)
  string(REPLACE "CONN123" "CONN12" text "${text}")
  file(WRITE ${WORK}/clean.ONL "${text}")
  configure_file(${EXAMPLE} ${WORK}/warned.ONL COPYONLY)
  file(REMOVE ${WORK}/clean.asc ${WORK}/warned.asc)
  string(REGEX REPLACE "^\\^(.*)\\$$" "\\1" example "${EXAMPLE_MESSAGES}")
  set(progress "[0-9]+ Parts, [0-9]+ Library Parts, [0-9]+ Nets, [0-9]+ Pins\nCreating Netlist\\.\\.\\.\n")
  marked(clean clean "${progress}Done\n")
  marked(clean2 clean.ONL "${progress}Done\n")
  marked(warned warned "${example}")
  marked(warned2 warned.ONL "${example}")
  marked(failed empty "\\[FMT0021\\] No parts in the design\nzedid: empty\\.asc was left as it was\n")
  run(0 "^$" "^${clean}${clean2}$" clean clean.ONL)
  run(1 "^$" "^${clean}${warned}zedid: warned: netlist written with warnings \\(status 1\\)\n$" clean warned)
  file(SHA256 ${WORK}/warned.asc batched)
  if(NOT batched STREQUAL written OR NOT EXISTS ${WORK}/clean.asc)
    list(APPEND failures "a run of several designs did not write each DESIGN.asc")
  endif()
  file(WRITE ${WORK}/empty.asc "kept")
  file(REMOVE ${WORK}/warned.asc)
  run(2 "^$" "^${failed}zedid: empty: failed \\(status 2\\)\n${warned2}zedid: warned\\.ONL: netlist written with warnings \\(status 1\\)\nzedid: gone: no design file [^\n]*gone\\.ONL\nzedid: gone: failed \\(status 2\\)\n$"
    empty warned.ONL gone)
  file(READ ${WORK}/empty.asc kept)
  if(NOT EXISTS ${WORK}/warned.asc OR NOT kept STREQUAL "kept")
    list(APPEND failures "a failed design stopped the others or changed its netlist")
  endif()
  run(2 "^$" "^${failed}zedid: empty: failed \\(status 2\\)\n$" clean empty -q clean)
  quiet(clean empty warned long)

  # Every form of the options gives the netlist -o gives, -q grouped too.
  foreach(form "-q;--output=form.asc" "--qu;--output;form.asc" "-q;-oform.asc" "-qoform.asc" "-qo;form.asc")
    file(REMOVE ${WORK}/form.asc)
    run(1 "^$" "^WARNING: [^\n]*\n$" ${form} ${name})
    netlist(${WORK}/form.asc "zedid ${form} ${name}: not the netlist -o writes")
  endforeach()

  # -d: each netlist into the folder, its design's folders left out, none
  # beside its design; a folder missing or not a folder is told once.
  file(REMOVE ${WORK}/clean.asc ${WORK}/warned.asc)
  file(MAKE_DIRECTORY ${WORK}/out)
  run(1 "^$" "${EXAMPLE_MESSAGES}" -dout/ ${WORK}/warned)
  netlist(${WORK}/out/warned.asc "-d wrote no DIR/DESIGN.asc, its design's folders left out")
  run(1 "^$" "^${clean}${warned}zedid: warned: netlist written with warnings \\(status 1\\)\n$" --output-dir=out clean warned)
  if(NOT EXISTS ${WORK}/out/clean.asc OR EXISTS ${WORK}/clean.asc OR EXISTS ${WORK}/warned.asc)
    list(APPEND failures "-d did not write each netlist into its folder alone")
  endif()
  foreach(folder nowhere clean.ONL)
    run(2 "^$" "^zedid: can't write netlists into ${folder}: [^\n]+\n$" -d ${folder} clean warned)
  endforeach()

  # "-": the design from standard input, its netlist to standard output or
  # to -o; an empty standard input is told as such.
  set(input ${EXAMPLE})
  run(1 "^$" "${EXAMPLE_MESSAGES}" - -o stdin.asc)
  execute_process(COMMAND ${EMULATOR} ${CLI} - INPUT_FILE ${EXAMPLE} OUTPUT_FILE ${WORK}/stdout.asc
    RESULT_VARIABLE status ERROR_QUIET WORKING_DIRECTORY ${WORK})
  netlist(${WORK}/stdin.asc "zedid - -o: not the design's netlist")
  netlist(${WORK}/stdout.asc "zedid -: status ${status}, not the design's netlist on standard output")
  file(WRITE ${WORK}/nothing "")
  set(input ${WORK}/nothing)
  run(2 "^$" "^zedid: standard input is empty: there is no design to format\nzedid: stdin\\.asc was left as it was\n$" - -ostdin.asc)
  unset(input)
  netlist(${WORK}/stdin.asc "a failed run from standard input changed the netlist it names")

  # Control bytes of the design reach the terminal escaped.
  string(ASCII 27 escape)
  file(READ ${EXAMPLE} text)
  string(REPLACE "CONN123" "CO${escape}]0;X" text "${text}")
  file(WRITE ${WORK}/escape.ONL "${text}")
  run(1 "^$" "WARNING: Reference contains illegal characters 'CO\\\\x1B\\]0;X'\n" escape)
  execute_process(COMMAND ${EMULATOR} ${CLI} escape WORKING_DIRECTORY ${WORK} ERROR_VARIABLE err)
  string(FIND "${err}" "${escape}" raw)
  if(NOT raw EQUAL -1)
    list(APPEND failures "a raw escape byte reached standard error:\n${err}")
  endif()
endif()

# No run, failed or not, leaves the new netlist it wrote beside its output.
file(GLOB partials ${WORK}/.*.zedid-*)
if(partials)
  list(APPEND failures "runs left their new netlists behind: ${partials}")
endif()

if(failures)
  string(REPLACE ";" "\n\n" failures "${failures}")
  message(FATAL_ERROR "${failures}")
endif()

# Renders what the manual page says of the exit statuses and of every
# message, with what to do, as plain text for the Windows zips, where no
# man is at hand: the page's NAME, EXIT STATUS and DIAGNOSTICS sections,
# whatever they hold, through groff, with Windows line ends. Called at build
# time with GROFF, PAGE (docs/zedid.1) and OUTPUT.
cmake_minimum_required(VERSION 3.16)
file(READ ${PAGE} page)

# The page's own preamble (.TH) up to its first section; then no
# hyphenation and a ragged right edge, so that every message text stands
# whole and as it is sent.
string(FIND "${page}" "\n.SH " first)
string(SUBSTRING "${page}" 0 ${first} excerpt)
string(APPEND excerpt "\n.nh\n.ad l")
foreach(section "NAME" "EXIT STATUS" "DIAGNOSTICS")
  string(FIND "${page}" "\n.SH ${section}\n" start)
  if(start LESS 0)
    message(FATAL_ERROR "${PAGE} has no section ${section}")
  endif()
  math(EXPR after "${start} + 1")
  string(SUBSTRING "${page}" ${after} -1 rest)
  string(FIND "${rest}" "\n.SH " end)
  string(SUBSTRING "${rest}" 0 ${end} body)
  string(APPEND excerpt "\n${body}")
endforeach()
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${OUTPUT}.man "${excerpt}\n")

# Plain ASCII: no escape sequences, no overstriking; one continuous page.
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou -rcR=1 -ww ${OUTPUT}.man
  OUTPUT_VARIABLE text ERROR_VARIABLE warnings RESULT_VARIABLE status)
file(REMOVE ${OUTPUT}.man)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${GROFF} could not render ${PAGE}:\n${warnings}")
endif()
string(REGEX REPLACE "\n\n\n+" "\n\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")

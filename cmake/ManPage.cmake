# Writes a gzipped manual page from a program's help text, whatever the program prints and
# however it exits (the text is the page; nothing is written twice).
#   cmake -DPROGRAM=... -DNAME=... -DSUMMARY=... -DVERSION=... -DOUTPUT=NAME.1.gz -P ManPage.cmake
# The program runs without a display, so that a window program prints its help too.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY ${PROGRAM} --help
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE ignored)
set(help "${out}${err}")
if(help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help printed nothing")
endif()
# roff: backslashes escaped, and no line may start with a control character.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "\n$" "" help "${help}")
string(TOUPPER "${NAME}" title)
file(WRITE ${OUTPUT}.page
  ".TH ${title} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"\n"
  ".SH NAME\n${NAME} \\- ${SUMMARY}\n"
  ".SH DESCRIPTION\nThe text of \\fB${NAME} --help\\fR:\n.PP\n.nf\n${help}\n.fi\n"
  ".SH SEE ALSO\n"
  "InstallPatchGUI(1), InstallPatchCLI(1), zephpack(1), zephrepaird(1), orbpatch(1);\n"
  "/usr/share/doc/installpatchgui/README.md\n")
execute_process(COMMAND gzip -9nc ${OUTPUT}.page OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE zipped)
file(REMOVE ${OUTPUT}.page)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${OUTPUT}")
endif()

# cmake -DPROGRAM=FILE -DNAME=NAME -DVERSION=V -DINCLUDE=FILE.h2m
#       [-DSUBCOMMANDS=a,b] -DWORK=DIR -DOUT=NAME.1.gz -P make-manpage.cmake
#
# Writes the gzipped manual page of one program from its --help text.
# help2man runs a small stand-in named like the installed command, so the
# page shows that name, the desktop program runs without a display, and
# Qt's placeholder for the program name in its usage line is filled in.
# With SUBCOMMANDS, each "NAME COMMAND --help" becomes a section of its own.
foreach(var PROGRAM NAME VERSION INCLUDE WORK OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make-manpage.cmake: ${var} is not set")
  endif()
endforeach()
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/${NAME}
  "#!/bin/sh\n"
  "QT_QPA_PLATFORM=offscreen \"${PROGRAM}\" \"$@\" | sed 's/<executable_name>/${NAME}/'\n")
file(CHMOD ${WORK}/${NAME} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# help2man does not read a program's subcommands; they go in as roff.
file(READ ${INCLUDE} include_text)
if(SUBCOMMANDS)
  string(REPLACE "," ";" SUBCOMMANDS "${SUBCOMMANDS}")
  string(APPEND include_text "\n[COMMANDS IN DETAIL]\n")
  foreach(cmd ${SUBCOMMANDS})
    execute_process(COMMAND ${PROGRAM} ${cmd} --help
      OUTPUT_VARIABLE help RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${NAME} ${cmd} --help failed: ${rc}")
    endif()
    string(REPLACE "\\" "\\e" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    string(APPEND include_text ".SS \"${NAME} ${cmd}\"\n.nf\n${help}.fi\n")
  endforeach()
endif()
file(WRITE ${WORK}/include.h2m "${include_text}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
          --version-string=${VERSION} --include=${WORK}/include.h2m
          --output=${WORK}/${NAME}.1 ${WORK}/${NAME}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${NAME}: ${rc}")
endif()
# -n: no name or time stamp, so that the same page gives the same file.
execute_process(COMMAND ${GZIP} -9nf ${WORK}/${NAME}.1 RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${NAME}: ${rc}")
endif()
file(RENAME ${WORK}/${NAME}.1.gz ${OUT})

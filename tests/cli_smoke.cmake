# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs shifterctl as a real process with no display at all: passes when it
# exits with STATUS (0 unless given), its standard output matches EXPECT and,
# when ERROR is given, its standard error matches ERROR. OUTPUT=full sends the
# output to /dev/full; OUTPUT=pipe through `head -n 1`, which closes the pipe
# after the first line.
# cmake -DEXE=... "-DARGS=--demo info" -DEXPECT=regex [-DSTATUS=n -DERROR=regex -DOUTPUT=full|pipe] -P cli_smoke.cmake
foreach(var QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY)
  unset(ENV{${var}})
endforeach()
if(NOT DEFINED STATUS OR STATUS STREQUAL "")
  set(STATUS 0)
endif()
separate_arguments(args UNIX_COMMAND "${ARGS}")
if(OUTPUT STREQUAL "full")
  execute_process(COMMAND "${EXE}" ${args} RESULT_VARIABLE rc OUTPUT_FILE /dev/full ERROR_VARIABLE err TIMEOUT 30)
  set(out "")
elseif(OUTPUT STREQUAL "pipe")
  execute_process(COMMAND "${EXE}" ${args} COMMAND head -n 1
                  RESULTS_VARIABLE rcs OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  list(GET rcs 0 rc)
else()
  execute_process(COMMAND "${EXE}" ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
endif()
if(NOT rc STREQUAL "${STATUS}")
  message(FATAL_ERROR "shifterctl ${ARGS} exited with ${rc} instead of ${STATUS}\n${out}${err}")
endif()
if(NOT out MATCHES "${EXPECT}")
  message(FATAL_ERROR "shifterctl ${ARGS} printed something else:\n${out}${err}")
endif()
if(DEFINED ERROR AND NOT err MATCHES "${ERROR}")
  message(FATAL_ERROR "shifterctl ${ARGS} said something else on stderr:\n${err}")
endif()

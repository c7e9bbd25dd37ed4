# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Where there is no display at all:
#   -DEXE=shifterctl   fails when the command line needs a widget or GUI
#                      library: it must run on a machine without any;
#   -DWINDOW=shiftercal fails unless the window, started without a display,
#                      says so in one sentence and exits with 1 (not Qt's abort).
foreach(var QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY)
  unset(ENV{${var}})
endforeach()
if(DEFINED WINDOW)
  execute_process(COMMAND ${WINDOW} --demo RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT status STREQUAL "1" OR NOT err MATCHES "^shiftercal: [^\n]*desktop session[^\n]*\n$")
    message(FATAL_ERROR "${WINDOW} --demo without a display exited with ${status}:\n${out}${err}")
  endif()
  return()
endif()
execute_process(COMMAND ldd ${EXE} OUTPUT_VARIABLE libs RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ldd ${EXE} failed (${status})")
endif()
if(NOT libs MATCHES "libQt6Core")
  message(FATAL_ERROR "ldd lists no Qt at all, so it cannot tell:\n${libs}")
endif()
if(libs MATCHES "libQt6(Widgets|Gui)")
  message(FATAL_ERROR "${EXE} needs display libraries:\n${libs}")
endif()

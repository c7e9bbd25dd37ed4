# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when the executable EXE needs a widget or GUI library: the command
# line must run on a machine without any display libraries.
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

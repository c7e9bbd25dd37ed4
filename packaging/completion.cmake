# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the completion script that shifterctl makes for a shell.
#   cmake -DEXE=shifterctl -DSHELL_NAME=bash -DOUT=file -P completion.cmake
get_filename_component(folder "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
execute_process(COMMAND "${EXE}" --completion "${SHELL_NAME}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --completion ${SHELL_NAME} failed (${rc})")
endif()

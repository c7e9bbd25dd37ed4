# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs in cpack on the staged files, just before they are packed.
set(_stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

# A package without its manual pages is not one to hand out.
foreach(_program shiftercal shifterctl)
  if(NOT EXISTS "${_stage}/share/man/man1/${_program}.1.gz")
    message(FATAL_ERROR "The package lacks the manual page of ${_program}: configure with "
                        "-C packaging/deb.cmake (or -DSHIFTER_MAN_PAGES=ON) and build again.")
  endif()
endforeach()

# What dh_strip takes out besides the symbols: the compilers' version notes.
file(GLOB _programs "${_stage}/bin/*")
foreach(_program IN LISTS _programs)
  execute_process(COMMAND "${CPACK_SHIFTER_STRIP}" --remove-section=.comment --remove-section=.note "${_program}"
                  RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "strip failed on ${_program}")
  endif()
endforeach()

# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Settings of the build the Debian package is made from:
#
#   cmake --preset package      (or: cmake -C packaging/deb.cmake -S . -B build-pkg -G Ninja)
#
# The preset includes this file before the project's languages are set up
# (CMAKE_PROJECT_INCLUDE_BEFORE), so the flags below are the compiler's first.
# A Release build of the two programs and their manual pages, compiled and
# linked with Debian's build flags, hardening included: fortified functions,
# the stack protector, read-only relocations and immediate binding.
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(BUILD_TESTING OFF CACHE BOOL "")
set(SHIFTER_MAN_PAGES ON CACHE BOOL "")

# Debug information would only be stripped again when the package is made.
set(ENV{DEB_BUILD_MAINT_OPTIONS} "hardening=+all")
set(ENV{DEB_CXXFLAGS_MAINT_STRIP} "-g")
foreach(flag CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND dpkg-buildflags --get ${flag}
                  WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/..
                  OUTPUT_VARIABLE _deb_${flag} OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags failed (${_rc}): apt-get install dpkg-dev")
  endif()
endforeach()
# CMake has no CPPFLAGS of its own: they go with the compiler flags.
set(CMAKE_CXX_FLAGS "${_deb_CPPFLAGS} ${_deb_CXXFLAGS}" CACHE STRING "")
set(CMAKE_EXE_LINKER_FLAGS "${_deb_LDFLAGS}" CACHE STRING "")

# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# The options every target of this project is built with, set on each target
# (never for the whole directory tree), so that what a target needs from the
# sanitizers or the fuzzer stays its own.

function(_shifter_options TARGET)
  get_target_property(type ${TARGET} TYPE)
  if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
    return()
  endif()
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${TARGET} PRIVATE -Wall -Wextra)
  endif()
  if(SHIFTER_SANITIZE)
    target_compile_options(${TARGET} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
                           -fno-omit-frame-pointer)
    if(NOT type STREQUAL "STATIC_LIBRARY" AND NOT type STREQUAL "OBJECT_LIBRARY")
      target_link_options(${TARGET} PRIVATE -fsanitize=address,undefined)
    endif()
  endif()
  # A library of several sources compiles as one or two: the Qt headers are
  # parsed once for all of them. A target can opt out with UNITY_BUILD OFF.
  # (A precompiled header of the Qt headers on top of this costs as much as it
  # saves: for the window's library 11.8 s of CPU with it, 11.8 s without.)
  get_target_property(sources ${TARGET} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  list(LENGTH sources count)
  get_target_property(unity ${TARGET} UNITY_BUILD)
  if(SHIFTER_FAST_BUILD AND type STREQUAL "STATIC_LIBRARY" AND count GREATER 1 AND NOT unity STREQUAL "OFF")
    set_target_properties(${TARGET} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
endfunction()

# Applies the options to every target defined under DIR.
function(shifter_target_options DIR)
  get_property(targets DIRECTORY ${DIR} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    _shifter_options(${target})
  endforeach()
  get_property(subdirs DIRECTORY ${DIR} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    shifter_target_options(${subdir})
  endforeach()
endfunction()

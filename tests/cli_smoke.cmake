# Runs shifterctl as a real process with no display at all: passes when it
# exits 0 and its standard output matches EXPECT.
# cmake -DEXE=... "-DARGS=--demo info" -DEXPECT=regex -P cli_smoke.cmake
foreach(var QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY)
  unset(ENV{${var}})
endforeach()
separate_arguments(args UNIX_COMMAND "${ARGS}")
execute_process(COMMAND "${EXE}" ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "shifterctl ${ARGS} exited with ${rc}\n${out}${err}")
endif()
if(NOT out MATCHES "${EXPECT}")
  message(FATAL_ERROR "shifterctl ${ARGS} printed something else:\n${out}${err}")
endif()

# Runs the program under Wine on the test prefix's machine and checks its exit status and
# standard output. Arguments (-D): WINE, EXE, SCRIPT (a script text file to place as the removal
# script, or NONE), STATUS (the expected exit status), OUTPUT (a regular expression the standard
# output must match, optional). WINEPREFIX comes from the environment.
cmake_policy(VERSION 3.25)
set(windows_dir "$ENV{WINEPREFIX}/drive_c/windows")
set(script_dir "${windows_dir}/Setup417")
file(REMOVE_RECURSE "${script_dir}")
if(NOT SCRIPT STREQUAL "NONE")
  file(MAKE_DIRECTORY "${script_dir}")
  file(COPY_FILE "${SCRIPT}" "${script_dir}/Remove417.ini")
endif()

execute_process(COMMAND ${WINE} ${EXE} RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE errors TIMEOUT 60)
file(REMOVE_RECURSE "${script_dir}")

message(STATUS "exit status ${status}")
message(STATUS "standard output:\n${output}")
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}\n${errors}")
endif()
if(DEFINED OUTPUT AND NOT output MATCHES "${OUTPUT}")
  message(FATAL_ERROR "standard output does not match ${OUTPUT}")
endif()

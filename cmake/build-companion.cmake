# Builds a companion's target in its own build folder, configuring that folder with its preset
# first when it is not yet: cmake -DSOURCE=<source> -DBINARY=<build folder> -DPRESET=<preset>
# -DTARGET=<target> -P build-companion.cmake
if(NOT EXISTS ${BINARY}/CMakeCache.txt)
  if(NOT PRESET)
    message(FATAL_ERROR "The companion's build folder ${BINARY} is not configured")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} WORKING_DIRECTORY ${SOURCE}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "The companion's build ${BINARY} cannot be configured (${PRESET})")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} --target ${TARGET}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "The companion ${TARGET} cannot be built in ${BINARY}")
endif()

# The companions that vorsk.exe starts, each built before it: vorsk.exe carries the digest of each
# one's image (digest/image_digest.h) in a header the build makes from them,
# <build>/generated/companion_digests.h, and starts no other file of its name. Each entry of
# VORSK_COMPANIONS is <its name beside vorsk.exe>=<its file>|<its build folder>|<its configure
# preset>|<its target>: the companion's build is configured with its preset when it is not yet,
# built, and only then is the header made. Without VORSK_COMPANIONS, vorsk64.exe of the 64-bit
# build (VORSK_COMPANION_EXE, the win32 preset's build/win64/vorsk64.exe) is the one; another
# companion (arm64\vorsk64.exe, say) is one more entry.
set(VORSK_COMPANION_EXE "" CACHE FILEPATH "vorsk64.exe of the 64-bit build")
set(VORSK_COMPANION_PRESET "" CACHE STRING "the configure preset of VORSK_COMPANION_EXE's build")
if(NOT VORSK_COMPANIONS AND VORSK_COMPANION_EXE)
  get_filename_component(companion_build ${VORSK_COMPANION_EXE} DIRECTORY)
  set(VORSK_COMPANIONS
      "vorsk64.exe=${VORSK_COMPANION_EXE}|${companion_build}|${VORSK_COMPANION_PRESET}|vorsk64")
endif()

set(VORSK_COMPANION_DIGESTS ${CMAKE_BINARY_DIR}/generated/companion_digests.h)
set(digest_arguments)
set(digest_depends ${PROJECT_SOURCE_DIR}/scripts/companion-digests.sh)
set(index 0)
foreach(companion IN LISTS VORSK_COMPANIONS)
  string(REGEX MATCH "^([^=]+)=([^|]+)\\|([^|]*)\\|([^|]*)\\|(.*)$" matched "${companion}")
  if(NOT matched)
    message(FATAL_ERROR "VORSK_COMPANIONS: ${companion} is not <name>=<file>|<build>|<preset>|<target>")
  endif()
  set(name ${CMAKE_MATCH_1})
  set(file ${CMAKE_MATCH_2})
  set(build ${CMAKE_MATCH_3})
  set(preset ${CMAKE_MATCH_4})
  set(target ${CMAKE_MATCH_5})
  list(APPEND digest_arguments "${name}=${file}")
  list(APPEND digest_depends ${file})
  if(build AND target)
    # Built first, every time vorsk.exe is: a build that is up to date costs a moment.
    add_custom_target(vorsk_companion_${index}
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DBINARY=${build} -DPRESET=${preset}
              -DTARGET=${target} -P ${PROJECT_SOURCE_DIR}/cmake/build-companion.cmake
      BYPRODUCTS ${file}
      COMMENT "Building the companion ${name} first"
      VERBATIM)
    list(APPEND digest_depends vorsk_companion_${index})
  endif()
  math(EXPR index "${index} + 1")
endforeach()
if(NOT VORSK_COMPANIONS)
  message(WARNING "No companion is built with vorsk.exe (VORSK_COMPANION_EXE is not set): it "
                  "starts none, and on 64-bit Windows leaves every instance and package (status 3)")
endif()
add_custom_command(OUTPUT ${VORSK_COMPANION_DIGESTS}
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/companion-digests.sh ${VORSK_COMPANION_DIGESTS}
          ${digest_arguments}
  DEPENDS ${digest_depends}
  COMMENT "Taking the digests of the companions built with vorsk.exe"
  VERBATIM)

# Cross-build for 64-bit Windows with MinGW-w64 (posix thread model: std::mutex for GoogleTest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VORSK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORSK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORSK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VORSK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORSK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows test programs run under Wine through ctest.
find_program(VORSK_WINE wine)
if(NOT VORSK_WINE)
  message(FATAL_ERROR "wine was not found: run scripts/setup.sh to install it")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${VORSK_WINE})

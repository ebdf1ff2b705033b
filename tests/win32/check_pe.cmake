# Checks the built program's PE header: a Windows GUI program of the given width that imports only
# system DLLs, hardened as current Windows programs are (a 64-bit one with high-entropy ASLR as
# well). Run with -DOBJDUMP=<objdump> -DEXE=<program> [-DBITS=32|64] [-DON_DEMAND=<DLL;...>]
# [-DSYMBOLS=<symbols file>]: the libraries the program loads only when it needs them (or never),
# which it must not import; the file that holds a stripped program's symbols. Both programs are
# also terminal-server aware.
cmake_policy(VERSION 3.25)
if(NOT BITS)
  set(BITS 32)
endif()
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE header RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
if(BITS EQUAL 64 AND NOT header MATCHES "file format pei-x86-64")
  message(FATAL_ERROR "${EXE} is not a 64-bit Windows program")
elseif(BITS EQUAL 32 AND NOT header MATCHES "file format pei-i386")
  message(FATAL_ERROR "${EXE} is not a 32-bit Windows program")
endif()
if(NOT header MATCHES "Subsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)")
  message(FATAL_ERROR "${EXE} is not a GUI-subsystem program")
endif()

set(system_dlls ADVAPI32.dll CFGMGR32.dll COMCTL32.dll COMDLG32.dll GDI32.dll KERNEL32.dll msvcrt.dll
    OLE32.dll SETUPAPI.dll SHELL32.dll USER32.dll VERSION.dll WINSPOOL.DRV)
string(TOUPPER "${system_dlls}" system_dlls)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${header}")
if(NOT imports)
  message(FATAL_ERROR "${EXE} lists no imports")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOUPPER "${dll}" dll_upper)
  if(NOT dll_upper IN_LIST system_dlls)
    message(FATAL_ERROR "${EXE} imports ${dll}, which is not a system DLL")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
# DLLs from the system folder only. The oldest Windows vorsk runs on is Windows XP SP2, whose known
# DLLs (the Session Manager's KnownDLLs list, and msvcrt, which those import and which is mapped
# with them) always come from the system folder, whatever the search. Any other DLL a program
# imports would first be looked for in the program's own folder, where anyone may have planted
# one: the programs load every other library (the common controls and dialogs, the device setup
# service) at run time by its full path in the system folder.
set(xp_known_dlls ADVAPI32.DLL COMDLG32.DLL GDI32.DLL IMAGEHLP.DLL KERNEL32.DLL LZ32.DLL MSVCRT.DLL
    OLE32.DLL OLEAUT32.DLL OLECLI32.DLL OLECNV32.DLL OLESVR32.DLL OLETHK32.DLL RPCRT4.DLL
    SHELL32.DLL URL.DLL URLMON.DLL USER32.DLL VERSION.DLL WININET.DLL WLDAP32.DLL)
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOUPPER "${dll}" dll_upper)
  if(NOT dll_upper IN_LIST xp_known_dlls)
    message(STATUS "not a known DLL of Windows XP SP2: ${dll}")
    message(FATAL_ERROR "${EXE} imports ${dll}: load it from the system folder at run time")
  endif()
endforeach()
# Nor any call newer than that Windows that toolchains and this code are known to reach for: each
# is looked up at run time (host/win32/older_windows.cpp stands in for the runtime's).
set(newer_calls GetTickCount64 GetSystemTimePreciseAsFileTime SetDefaultDllDirectories
    AddDllDirectory RegDeleteTreeA RegDeleteTreeW RegGetValueA RegGetValueW InitializeSRWLock
    AcquireSRWLockExclusive InitializeConditionVariable InitOnceExecuteOnce CancelIoEx
    GetFinalPathNameByHandleA GetFinalPathNameByHandleW CreateSymbolicLinkA CreateSymbolicLinkW
    QueryFullProcessImageNameA QueryFullProcessImageNameW)
foreach(call IN LISTS newer_calls)
  if(header MATCHES "[ \t][0-9]+[ \t]+${call}\n")
    message(STATUS "newer than Windows XP SP2: ${call}")
    message(FATAL_ERROR "${EXE} imports ${call}: look it up at run time")
  endif()
endforeach()
foreach(dll IN LISTS ON_DEMAND)
  string(TOUPPER "${dll}" dll_upper)
  foreach(import IN LISTS imports)
    string(TOUPPER "${import}" import_upper)
    if(import_upper STREQUAL "DLL NAME: ${dll_upper}")
      message(FATAL_ERROR "${EXE} imports ${dll}, which it loads only when it needs it")
    endif()
  endforeach()
endforeach()

# Hardening. Every property that is missing is named, then the check fails.
set(missing)
if(NOT header MATCHES "DllCharacteristics[ \t]+([0-9a-fA-F]+)")
  message(FATAL_ERROR "${EXE} has no DllCharacteristics")
endif()
math(EXPR dll_characteristics "0x${CMAKE_MATCH_1}")
message(STATUS "DllCharacteristics 0x${CMAKE_MATCH_1}")
# ASLR: the loader may move the image, which needs its base relocations.
math(EXPR dynamic_base "${dll_characteristics} & 0x40")
if(dynamic_base EQUAL 0)
  list(APPEND missing "no DYNAMIC_BASE (ASLR)")
endif()
if(NOT header MATCHES "Entry 5 [0-9a-fA-F]+ ([0-9a-fA-F]+) Base Relocation Directory")
  list(APPEND missing "no base relocation directory")
else()
  math(EXPR relocations "0x${CMAKE_MATCH_1}")
  if(relocations EQUAL 0)
    list(APPEND missing "no base relocations (ASLR cannot move the image)")
  endif()
endif()
if(header MATCHES "Characteristics 0x([0-9a-fA-F]+)")
  math(EXPR relocs_stripped "0x${CMAKE_MATCH_1} & 0x1")
  if(NOT relocs_stripped EQUAL 0)
    list(APPEND missing "relocations stripped")
  endif()
endif()
# A 64-bit image may be placed anywhere in the 64-bit address space.
if(BITS EQUAL 64)
  math(EXPR high_entropy "${dll_characteristics} & 0x20")
  if(high_entropy EQUAL 0)
    list(APPEND missing "no HIGH_ENTROPY_VA (64-bit ASLR)")
  endif()
endif()
# DEP: data is never executable.
math(EXPR nx_compat "${dll_characteristics} & 0x100")
if(nx_compat EQUAL 0)
  list(APPEND missing "no NX_COMPAT (DEP)")
endif()
# Stack protection: functions that check their canary before returning.
execute_process(COMMAND ${OBJDUMP} -d ${EXE} OUTPUT_VARIABLE code RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump could not disassemble ${EXE}")
endif()
# A stripped program's calls show no names: they are found by the address that its symbols give.
set(canary_call "call[^\n]*<_?__stack_chk_fail>")
if(SYMBOLS)
  string(REGEX REPLACE "objdump$" "nm" nm "${OBJDUMP}")
  execute_process(COMMAND ${nm} ${SYMBOLS} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${nm} could not read ${SYMBOLS}")
  endif()
  set(canary_call)
  if(symbols MATCHES "(^|\n)0*([0-9a-f]+) T _?__stack_chk_fail\n")
    set(canary_call "call[ \t]+0x${CMAKE_MATCH_2}\n")
  endif()
endif()
set(canary_checks)
if(canary_call)
  string(REGEX MATCHALL "${canary_call}" canary_checks "${code}")
endif()
list(LENGTH canary_checks canary_count)
message(STATUS "${canary_count} stack canary checks")
if(canary_count EQUAL 0)
  list(APPEND missing "no stack protection")
endif()
# No elevation asked for: an application manifest (resource type 24) that runs the program as its
# invoker, which also keeps the platform's installer detection and registry virtualization out.
if(NOT header MATCHES "\n[0-9a-fA-F]+   Entry: ID: 0x000018,")
  list(APPEND missing "no application manifest")
endif()
file(STRINGS ${EXE} execution_level REGEX "requestedExecutionLevel level=\"asInvoker\"")
if(NOT execution_level)
  list(APPEND missing "no asInvoker execution level")
endif()

if(missing)
  foreach(property IN LISTS missing)
    message(STATUS "not hardened: ${property}")
  endforeach()
  message(FATAL_ERROR "${EXE} is not hardened")
endif()

# Terminal-server aware: on a terminal server the platform then keeps its per-user compatibility
# changes (a private Windows folder, INI and registry mapping) away from the program.
math(EXPR terminal_server_aware "${dll_characteristics} & 0x8000")
if(terminal_server_aware EQUAL 0)
  message(FATAL_ERROR "${EXE} is not terminal-server aware (TERMINAL_SERVER_AWARE)")
endif()

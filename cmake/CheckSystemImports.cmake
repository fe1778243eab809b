# Fails unless PROGRAM imports DLLs of the system alone, so that it runs on a bare
# Windows with nothing installed beside it.
#   cmake -DOBJDUMP=... -DPROGRAM=... -P CheckSystemImports.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls kernel32.dll user32.dll shell32.dll msvcrt.dll)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "${PROGRAM} imports nothing that objdump shows")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "${PROGRAM} needs ${dll}, which is not the system's own")
  endif()
  message(STATUS "imports ${dll}")
endforeach()

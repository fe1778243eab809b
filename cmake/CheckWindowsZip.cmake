# The Windows .zip as a user gets it: made by CPack from the build, holding exactly
# the watchdog and the README, unpacked, and its program run under the emulator
# through end-to-end cases.
# cmake -DBUILD=<build dir> -DEMULATOR=<wine> -DEND_TO_END=<tests> -DVERSION=<x.y.z> -P CheckWindowsZip.cmake
set(scratch ${BUILD}/zip-check)
file(REMOVE_RECURSE ${scratch})
execute_process(COMMAND cpack -G ZIP -B ${scratch}/packages WORKING_DIRECTORY ${BUILD}
                RESULT_VARIABLE made OUTPUT_QUIET)
set(zip ${scratch}/packages/BrassOwletMonitor-${VERSION}-windows-x86_64.zip)
if(NOT made EQUAL 0 OR NOT EXISTS ${zip})
  message(FATAL_ERROR "CPack made no ${zip}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listing)
string(REPLACE "\n" ";" files "${listing}")
list(REMOVE_ITEM files "")
list(SORT files)
message(STATUS "${zip}: ${files}")
if(NOT files STREQUAL "BrassOwletMonitor.exe;README.md")
  message(FATAL_ERROR "The .zip should hold BrassOwletMonitor.exe and README.md, and holds: ${files}")
endif()

file(MAKE_DIRECTORY ${scratch}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${scratch}/unpacked)
# The unpacked program as Windows sees it, through the drive that maps "/".
string(REPLACE "/" "\\" unpacked "Z:${scratch}/unpacked/BrassOwletMonitor.exe")
set(ENV{BRASSOWLET_MONITOR} "${unpacked}")
execute_process(
  COMMAND ${EMULATOR} ${END_TO_END}
          "--gtest_filter=WindowsEndToEnd.WindowMissing*:WindowsEndToEnd.CompanionMissing*"
  RESULT_VARIABLE passed OUTPUT_VARIABLE output ERROR_VARIABLE output)
message(STATUS "${output}")
if(NOT passed EQUAL 0 OR NOT output MATCHES "PASSED  \\] 2 tests")
  message(FATAL_ERROR "The unpacked program did not pass its end-to-end cases")
endif()
file(REMOVE_RECURSE ${scratch})

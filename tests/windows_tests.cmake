# Tests of the Windows platform and of the whole program, run under Wine here.
add_library(windows_test_support OBJECT support/windows_processes.cpp)
target_include_directories(windows_test_support PUBLIC ${CMAKE_SOURCE_DIR})

# Windows of the companion's class belong to the whole session: the tests that make
# or look for them take turns.
set(window_tests_lock RESOURCE_LOCK companion_windows)

add_executable(platform_windows_tests platform_windows_test.cpp)
target_link_libraries(platform_windows_tests PRIVATE platform windows_test_support test_common
                                                     GTest::gtest_main)
target_compile_definitions(platform_windows_tests PRIVATE
  COMPANION_FILE="companion/$<TARGET_FILE_NAME:companion>")
add_dependencies(platform_windows_tests companion)
gtest_discover_tests(platform_windows_tests DISCOVERY_MODE PRE_TEST PROPERTIES ${window_tests_lock})

# Reporting's tests ask whether this system can make a file read-only.
target_link_libraries(reporting_tests PRIVATE windows_test_support)

add_executable(end_to_end_windows_tests end_to_end_windows_test.cpp)
target_link_libraries(end_to_end_windows_tests PRIVATE windows_test_support test_common
                                                       GTest::gtest_main)
target_compile_definitions(end_to_end_windows_tests PRIVATE
  MONITOR_FILE="$<TARGET_FILE_NAME:BrassOwletMonitor>"
  COMPANION_FILE="companion/$<TARGET_FILE_NAME:companion>")
add_dependencies(end_to_end_windows_tests BrassOwletMonitor companion)
gtest_discover_tests(end_to_end_windows_tests DISCOVERY_MODE PRE_TEST
                     PROPERTIES TIMEOUT 180 ${window_tests_lock})

# The shipped programs need no DLL beyond the system's own.
foreach(program BrassOwletMonitor companion)
  add_test(NAME ${program}.ImportsOnlySystemDlls
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DPROGRAM=$<TARGET_FILE:${program}>
                   -P ${CMAKE_SOURCE_DIR}/cmake/CheckSystemImports.cmake)
endforeach()

# The .zip for Windows, made and unpacked as a user would, its program run from there.
add_test(NAME Package.WindowsZipHoldsTheWatchdogAndRunsUnpacked
         COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR}
                 -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
                 -DEND_TO_END=$<TARGET_FILE:end_to_end_windows_tests> -DVERSION=${PROJECT_VERSION}
                 -P ${CMAKE_SOURCE_DIR}/cmake/CheckWindowsZip.cmake)
set_tests_properties(Package.WindowsZipHoldsTheWatchdogAndRunsUnpacked
                     PROPERTIES TIMEOUT 300 ${window_tests_lock})

# Tests of the POSIX platform and of the whole program, against a private Xvfb.
add_library(posix_test_support OBJECT support/processes.cpp)
target_include_directories(posix_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(posix_test_support PUBLIC GTest::gtest)

# A crowd of top-level windows, and a count of the round trips a client makes to the
# X server, for the presence test at scale (here and in bench/).
add_executable(window_crowd support/window_crowd.cpp)
target_link_libraries(window_crowd PRIVATE PkgConfig::XCB)
add_library(x11_round_trips OBJECT support/x11_round_trips.cpp)
target_include_directories(x11_round_trips PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(x11_round_trips PUBLIC PkgConfig::XCB ${CMAKE_DL_LIBS})

add_executable(platform_posix_tests platform_posix_test.cpp)
target_link_libraries(platform_posix_tests PRIVATE platform posix_test_support test_common
                                                   x11_round_trips GTest::gtest_main)
target_compile_definitions(platform_posix_tests PRIVATE COMPANION_PATH="$<TARGET_FILE:companion>"
                                                        WINDOW_CROWD_PATH="$<TARGET_FILE:window_crowd>")
add_dependencies(platform_posix_tests companion window_crowd)
gtest_discover_tests(platform_posix_tests DISCOVERY_MODE PRE_TEST)

add_executable(end_to_end_tests end_to_end_test.cpp)
target_link_libraries(end_to_end_tests PRIVATE platform posix_test_support test_common
                                               GTest::gtest_main)
target_compile_definitions(end_to_end_tests PRIVATE
  MONITOR_PATH="$<TARGET_FILE:BrassOwletMonitor>" COMPANION_PATH="$<TARGET_FILE:companion>")
add_dependencies(end_to_end_tests BrassOwletMonitor companion)
gtest_discover_tests(end_to_end_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)

# The program with a short pause, built for the long-run test alone.
add_executable(fast_cycle_monitor ${CMAKE_SOURCE_DIR}/watchdog/main.cpp
                                  ${CMAKE_SOURCE_DIR}/watchdog/watchdog.cpp
                                  ${CMAKE_SOURCE_DIR}/watchdog/texts.cpp)
target_compile_definitions(fast_cycle_monitor PRIVATE BRASSOWLET_TEST_CYCLE_PERIOD_MS=20)
target_link_libraries(fast_cycle_monitor PRIVATE reporting platform)

add_executable(long_run_tests long_run_test.cpp)
target_link_libraries(long_run_tests PRIVATE posix_test_support test_common GTest::gtest_main)
target_compile_definitions(long_run_tests PRIVATE MONITOR_PATH="$<TARGET_FILE:fast_cycle_monitor>")
add_dependencies(long_run_tests fast_cycle_monitor)
gtest_discover_tests(long_run_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 240)

# The unit suites under valgrind's memcheck as well: no error, no leak. Not beside
# AddressSanitizer, which cannot share a process with it.
find_program(VALGRIND valgrind)
if(VALGRIND AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  # The real program too, through its cycles with and without BrassOwlet.
  add_executable(memcheck_tests memcheck_test.cpp)
  target_link_libraries(memcheck_tests PRIVATE platform posix_test_support test_common
                                               GTest::gtest_main)
  target_compile_definitions(memcheck_tests PRIVATE VALGRIND_PATH="${VALGRIND}"
    MONITOR_PATH="$<TARGET_FILE:BrassOwletMonitor>" COMPANION_PATH="$<TARGET_FILE:companion>")
  add_dependencies(memcheck_tests BrassOwletMonitor companion)
  gtest_discover_tests(memcheck_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)

  foreach(suite watch_cycle_tests reporting_tests)
    add_test(NAME Memcheck.${suite}
             COMMAND ${VALGRIND} --error-exitcode=99 --leak-check=full
                     --errors-for-leak-kinds=definite,indirect --child-silent-after-fork=yes
                     $<TARGET_FILE:${suite}>)
  endforeach()
endif()

# The Debian package, made and checked as a user's machine would take it; and the
# manual page, which must render without a warning. Not for a sanitizer's build.
if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  add_test(NAME Package.DebianPackagePassesLintianAndRunsFromAScratchRoot
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_BINARY_DIR}
                   $<TARGET_FILE:end_to_end_tests> ${PROJECT_VERSION})
  set_tests_properties(Package.DebianPackagePassesLintianAndRunsFromAScratchRoot
                       PROPERTIES TIMEOUT 300)
endif()
add_test(NAME ManualPage.RendersWithoutWarnings
         COMMAND sh -c "warnings=$(groff -ww -z -man \"$1\" 2>&1) && [ -z \"$warnings\" ] || { echo \"$warnings\"; exit 1; }"
                 groff ${CMAKE_BINARY_DIR}/BrassOwletMonitor.1)

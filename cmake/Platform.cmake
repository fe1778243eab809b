# The platform layer: one OBJECT library built from the files for BRASSOWLET_PLATFORM.
if(BRASSOWLET_PLATFORM STREQUAL "posix")
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
  add_library(platform OBJECT platform/platform_posix.cpp platform/x11_presence.cpp)
  target_link_libraries(platform PUBLIC PkgConfig::XCB)
else()
  message(FATAL_ERROR "No platform layer for ${BRASSOWLET_PLATFORM} yet: the Windows build "
                      "comes with platform/platform_windows.cpp.")
endif()
target_include_directories(platform PUBLIC ${CMAKE_SOURCE_DIR})

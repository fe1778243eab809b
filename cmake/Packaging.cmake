# What `cmake --install` puts where, and the packages CPack makes of it: a Debian
# package on Linux, a .zip on Windows. The companion is a test and demo program and
# is not installed.
include(GNUInstallDirs)

if(WIN32)
  # Unpacked beside BrassOwlet.exe, as the watchdog is meant to be run.
  install(TARGETS BrassOwletMonitor RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(package_name brassowlet-monitor)
  set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package_name})
  install(TARGETS BrassOwletMonitor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The manual page and the changelog carry the version, and are installed
  # compressed, without a timestamp, as Debian's tools expect.
  set(packaging ${CMAKE_SOURCE_DIR}/packaging)
  configure_file(${packaging}/BrassOwletMonitor.1 BrassOwletMonitor.1 @ONLY)
  configure_file(${packaging}/changelog.in changelog @ONLY)
  foreach(file BrassOwletMonitor.1 changelog)
    add_custom_command(OUTPUT ${file}.gz
                       COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/${file} > ${file}.gz
                       DEPENDS ${CMAKE_BINARY_DIR}/${file})
  endforeach()
  add_custom_target(compressed_documents ALL DEPENDS BrassOwletMonitor.1.gz changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/BrassOwletMonitor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md ${packaging}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${packaging}/BrassOwletMonitor.desktop ${packaging}/brassowlet-monitor@.service
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME ${package_name})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION
      "BrassOwletMonitor runs in the directory that holds BrassOwlet.exe. Once a
second it asks the X server whether a top-level window of class
BrassOwletTask exists, and shows a status line while one does. When none
does, it beeps, logs the start and starts BrassOwlet.exe again; a failed
start is shown and logged with its error number.")
endif()

set(CPACK_PACKAGE_VENDOR "BrassOwlet Monitor developers")
set(CPACK_PACKAGE_CONTACT "BrassOwlet Monitor developers <brassowlet-monitor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console watchdog that keeps BrassOwlet running")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)

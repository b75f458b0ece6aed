# Installs the service files; `cmake --install` and cpack run it with
# CMAKE_INSTALL_PREFIX set to where the programs end up, so the unit can
# name the installed fslog. Under the prefix /usr the logrotate file goes
# to /etc and the log folder is made in /var (as GNUInstallDirs places
# them); under any other prefix the logrotate file stays below it and the
# log folder is left to the administrator, since systemd logs to
# /var/log/fslog whatever the prefix.
# Set before this runs: FSLOG_SERVICE_SOURCE (the service/ folder),
# FSLOG_SERVICE_BUILD (a scratch folder), FSLOG_BINDIR and FSLOG_LIBEXECDIR
# (relative).
set(FSLOG_BINDIR_FULL "${CMAKE_INSTALL_PREFIX}/${FSLOG_BINDIR}")
set(FSLOG_LIBEXECDIR_FULL "${CMAKE_INSTALL_PREFIX}/${FSLOG_LIBEXECDIR}/fslog")
# fslog's unit, and fslog-metrics' beside it.
foreach(unit fslog@.service fslog-metrics@.service)
  configure_file("${FSLOG_SERVICE_SOURCE}/${unit}.in" "${FSLOG_SERVICE_BUILD}/${unit}" @ONLY)
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system" TYPE FILE
    FILES "${FSLOG_SERVICE_BUILD}/${unit}")
endforeach()
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/fslog" TYPE FILE
  FILES "${FSLOG_SERVICE_SOURCE}/70-fslog.rules")
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(sysconfdir /etc)
  file(MAKE_DIRECTORY "$ENV{DESTDIR}/var/log/fslog")
else()
  set(sysconfdir "${CMAKE_INSTALL_PREFIX}/etc")
endif()
# The rotation, and the script it runs to have fslog reopen its log.
file(INSTALL DESTINATION "${FSLOG_LIBEXECDIR_FULL}" TYPE PROGRAM
  FILES "${FSLOG_SERVICE_SOURCE}/fslog-reopen-logs")
configure_file("${FSLOG_SERVICE_SOURCE}/fslog.logrotate.in" "${FSLOG_SERVICE_BUILD}/fslog.logrotate" @ONLY)
file(INSTALL DESTINATION "${sysconfdir}/logrotate.d" TYPE FILE RENAME fslog
  FILES "${FSLOG_SERVICE_BUILD}/fslog.logrotate")

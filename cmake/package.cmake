# The Debian package (cpack -G DEB, run by scripts/package): the two programs, the hardened
# systemd unit, the capability helper and the maintainer scripts of packaging/. Configure
# with CMAKE_INSTALL_PREFIX=/usr; the unit goes to /lib/systemd/system as Debian 12 expects.
set(pkg ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS varnel varnel-admin RUNTIME DESTINATION sbin)
install(FILES ${pkg}/varnel.service DESTINATION /lib/systemd/system)
install(PROGRAMS ${pkg}/update-capabilities DESTINATION lib/varnel)
install(FILES ${pkg}/copyright DESTINATION share/doc/varnel)

# Debian wants the changelog and the manual pages compressed with gzip -9n.
function(varnel_gzip in out)
  execute_process(COMMAND gzip -9n -c ${in} OUTPUT_FILE ${out} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
configure_file(${pkg}/changelog.in ${CMAKE_BINARY_DIR}/package/changelog @ONLY)
varnel_gzip(${CMAKE_BINARY_DIR}/package/changelog ${CMAKE_BINARY_DIR}/package/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/package/changelog.gz DESTINATION share/doc/varnel)
file(GLOB_RECURSE manual_pages ${PROJECT_SOURCE_DIR}/docs/*.8)
foreach(page ${manual_pages})
  get_filename_component(name ${page} NAME)
  varnel_gzip(${page} ${CMAKE_BINARY_DIR}/package/${name}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/package/${name}.gz DESTINATION share/man/man8)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_SET_DESTDIR ON)  # absolute destinations (the unit) land in the package, not on /
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME varnel)
set(CPACK_PACKAGE_VENDOR "Varnel developers")
set(CPACK_PACKAGE_CONTACT "Varnel developers <varnel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unattended alarm notification server")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Varnel takes events from Syslog, SNMP traps, its own SMTP listener, serial
alarm panels and a drop file, logs every event, matches events against
support groups and delivers alarms to people by SMS, paging, mail, terminal
messages and programs.

The service runs as the system user varnel with its program directory in
/var/lib/varnel; varnel-admin configures and inspects it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/postinst ${pkg}/prerm ${pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

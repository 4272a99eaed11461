# The Debian package that scripts/package builds with CPack: the programs, the service's unit, the
# console's menu entry and icon, the manual pages, the documents and the maintainer scripts. The
# version is the project's; dependencies come from the programs' shared libraries.
set(ORVO_MAINTAINER "The Orvo developers <orvo-dev@lists.orvo.org>")
# Dates of the changelog and the manual pages; CMake takes SOURCE_DATE_EPOCH when it is set, as
# scripts/package sets it from the last commit, so that the same sources give the same package.
string(TIMESTAMP ORVO_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP ORVO_RELEASE_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)

set(staged ${PROJECT_BINARY_DIR}/package-files)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(programs orvo-serverd orvo-admin orvo)
if(ORVO_CONSOLE)
  list(APPEND programs orvo-server)
endif()

# Manual pages and the changelog, compressed as Debian wants them.
set(compressed)
foreach(program IN LISTS programs)
  configure_file(${packaging}/man/${program}.1.in ${staged}/${program}.1 @ONLY)
  list(APPEND compressed ${program}.1)
endforeach()
configure_file(${packaging}/debian/changelog.in ${staged}/changelog @ONLY)
list(APPEND compressed changelog)
set(outputs)
foreach(name IN LISTS compressed)
  add_custom_command(OUTPUT ${staged}/${name}.gz
    COMMAND gzip -9n --force --keep ${name}
    DEPENDS ${staged}/${name}
    WORKING_DIRECTORY ${staged}
    VERBATIM)
  list(APPEND outputs ${staged}/${name}.gz)
endforeach()
add_custom_target(orvo_package_files ALL DEPENDS ${outputs})

# The licence in the machine-readable form of /usr/share/doc/PACKAGE/copyright.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "\n$" "" licence "${licence}")
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REGEX REPLACE "\n" "\n " licence "${licence}")
file(WRITE ${staged}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: orvo\n\n"
  "Files: *\n"
  "Copyright: 2026 The Orvo developers\n"
  "License: Expat\n ${licence}\n")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS ${programs} RUNTIME DESTINATION bin)
foreach(program IN LISTS programs)
  install(FILES ${staged}/${program}.1.gz DESTINATION share/man/man1)
endforeach()
# Debian 12 keeps the units of packages below /lib.
install(FILES ${packaging}/orvo-serverd.service DESTINATION /lib/systemd/system)
if(ORVO_CONSOLE)
  install(FILES ${packaging}/orvo-server.desktop DESTINATION share/applications)
  install(FILES ${packaging}/icons/orvo-server.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/SECURITY.md
  ${staged}/copyright ${staged}/changelog.gz
  DESTINATION share/doc/orvo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT ${ORVO_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "campus file service for classrooms")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "A classroom PC or a lab server keeps a database of classes, students and a\n"
  "weekly timetable, and serves each student a private folder and the class a\n"
  "shared resources folder over a plain TCP protocol and a browser portal, while\n"
  "the timetable gives the class a lesson.\n"
  "\n"
  "This package holds the headless service orvo-serverd with its systemd unit,\n"
  "the administration tool orvo-admin, the command-line client orvo and the\n"
  "operator console orvo-server.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the maintainer scripts need besides the essential packages; the libraries come from
# dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${packaging}/debian/postinst ${packaging}/debian/prerm ${packaging}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/build/packages)
include(CPack)

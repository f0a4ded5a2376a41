# The files that make the utility a desktop program, and the Debian package holding them
# with every executable installed through zelmirt_install_program.
set(ZELMIRT_PACKAGE_MAINTAINER "Zelmirt Programming Utility developers <zelmirt-programmer@zelmirt.com>"
    CACHE STRING "Maintainer field of the Debian package")
set(zelmirt_package zelmirt-programmer)
set(zelmirt_package_release 1)
set(ZELMIRT_PACKAGE_VERSION ${PROJECT_VERSION}-${zelmirt_package_release})
set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(zelmirt_appstream_id com.zelmirt.programmer)

install(FILES ${packaging}/zelmirt-programmer.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/zelmirt-programmer.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${packaging}/${zelmirt_appstream_id}.metainfo.xml
               ${CMAKE_BINARY_DIR}/packaging/${zelmirt_appstream_id}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${zelmirt_appstream_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian's own documents and the reasons for the lintian warnings that stay.
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${zelmirt_package})
install(FILES ${packaging}/copyright DESTINATION ${docdir})
configure_file(${packaging}/changelog.Debian.in ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND ${GZIP} -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
  VERBATIM)
add_custom_target(debian-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${docdir})
install(FILES ${packaging}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${zelmirt_package})

# The sample program files, without whatever makes or versions them.
if(EXISTS ${CMAKE_SOURCE_DIR}/examples)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/${zelmirt_package}/examples
          PATTERN "CMakeLists.txt" EXCLUDE PATTERN "*.cmake" EXCLUDE PATTERN "*.py" EXCLUDE PATTERN "*.sh" EXCLUDE
          PATTERN ".git*" EXCLUDE)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${zelmirt_package})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ZELMIRT_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "re-flash the processors of a Zelmirt field device over TCP")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop utility that re-flashes the two processors of a Zelmirt field device,\n"
    "the Master and the Slave, over TCP. It keeps a connection to the Master, shows\n"
    "whether it stands, and programs the Master, the Slave or both from Intel HEX\n"
    "files, with a progress bar, a log of every reply and a status line.\n"
    "\n"
    "The package also holds the command line programmer zelmirt-flash, the device\n"
    "simulator zelmirt-sim, the debug-log viewer and sample program files.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# The programs know themselves installed by their place under the install prefix, so the
# package installs where the build was made for (scripts/package: /usr).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${zelmirt_package_release})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its SVG support as a plugin, which dpkg-shlibdeps cannot see: the window's icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

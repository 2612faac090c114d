# Debian packages by CPack (`cpack -G DEB` in a build configured with
# -DVQ_SYSTEM_INSTALL=ON -DCMAKE_INSTALL_PREFIX=/usr; scripts/make-deb.sh does
# both): "vellquist" holds the program, the two command-line tools, their
# manual pages, the desktop entry, the icon and the sample database;
# "vellquist-ase-test-server" the demo and test server, which a user of a real
# ASE server never needs.
if(NOT VQ_SYSTEM_INSTALL)
  return()
endif()

install(TARGETS vellquist-sql vellquist-transfer RUNTIME DESTINATION bin COMPONENT vellquist)
install(TARGETS ase-test-server RUNTIME DESTINATION bin COMPONENT vellquist-ase-test-server)
install(FILES ${PROJECT_SOURCE_DIR}/tools/ase-test-server/sample-data.sql
        DESTINATION share/vellquist-ase-test-server COMPONENT vellquist-ase-test-server)

# Every Debian package carries its copyright and changelog in its doc folder
# (changelog.gz: the packages are made here, from no upstream source).
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${changelog})
foreach(component vellquist vellquist-ase-test-server)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
          DESTINATION share/doc/${component} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellquist)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vellquist")
set(CPACK_PACKAGE_CONTACT "Vellquist maintainers <${VQ_SUPPORT_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL vellquist vellquist-ase-test-server)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VQ_HOME_PAGE})
# Dependencies from the shared libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

set(CPACK_DEBIAN_VELLQUIST_PACKAGE_NAME vellquist)
set(CPACK_DEBIAN_VELLQUIST_PACKAGE_SECTION database)
# The windows ask for Arial, which the metric-compatible Liberation fonts stand in for.
set(CPACK_DEBIAN_VELLQUIST_PACKAGE_RECOMMENDS fonts-liberation)
set(CPACK_DEBIAN_VELLQUIST_PACKAGE_SUGGESTS vellquist-ase-test-server)
set(CPACK_COMPONENT_VELLQUIST_DESCRIPTION
  "moves tables between Access files and Sybase ASE
Vellquist copies tables between a Microsoft Access database file
(.mdb or .accdb) and a Sybase Adaptive Server Enterprise database, in
both directions, and deletes and renames tables on either side. It reads
and writes Access files with its own engine and reaches ASE through FreeTDS.
.
This package holds the desktop program, the command-line tools
vellquist-sql and vellquist-transfer, and a small sample database.")

set(CPACK_DEBIAN_VELLQUIST-ASE-TEST-SERVER_PACKAGE_NAME vellquist-ase-test-server)
set(CPACK_DEBIAN_VELLQUIST-ASE-TEST-SERVER_PACKAGE_SECTION database)
set(CPACK_COMPONENT_VELLQUIST-ASE-TEST-SERVER_DESCRIPTION
  "demo and test server speaking Sybase ASE's protocol for Vellquist
ase-test-server answers the TDS 5.0 protocol as a Sybase ASE server does,
keeping each database in an SQLite file. It lets Vellquist be tried and
tested without an ASE server; it is not a database server for real data.")

include(CPack)

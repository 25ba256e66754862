# The Debian package: `cpack -G DEB` in a build folder, after the build.
# Installs under /usr; Qt, OpenSSL and the C++ runtime come from the system,
# found by dpkg-shlibdeps in what the programs link.
set(NIMBUS_PACKAGE_CONTACT "nimbus-scripts maintainers <maintainers@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbus-scripts)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${NIMBUS_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "applies SQL scripts to the Nimbus Firebird database")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "nimbus-scripts runs a list of SQL scripts, plain or encrypted, statement by\n"
       "statement against the Firebird database of the Nimbus club-management\n"
       "product, and logs every step. nimbus-scripttool parses, checks, encrypts\n"
       "and decrypts scripts for their authors.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded with dlopen, so invisible to dpkg-shlibdeps: the client library, and
# Qt's platform plugins, without which the window cannot open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfbclient2, qt6-qpa-plugins")
# The source package generator is not used.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

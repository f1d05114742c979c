# The Debian package, `make deb` (cpack -G DEB in the build directory): the
# server component of cmake/install.cmake under /usr, its options file
# /etc/default/ostrand as a conffile, and the maintainer scripts of
# packaging/ (system user, state directory, signing key). The library and
# headers are not in it. Dependencies come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrand)
set(CPACK_PACKAGE_VENDOR ostrand)
set(CPACK_PACKAGE_CONTACT "ostrand maintainers <ostrand@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "staff-schedule renderer and its web host")
set(CPACK_PACKAGE_DESCRIPTION
    "ostrand shows where each person of a department plans to be on each day and\n"
    "what they plan to do there, as HTML: personal month and week plans, leader\n"
    "summaries and a day editor, served by the ostrand.service unit.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "" CPACK_PACKAGE_DESCRIPTION)
# The install runs with the prefix /usr into a staging root (DESTDIR), so
# the service's files land where that prefix puts them, /etc included.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, sqlite3")
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "/etc/default/ostrand\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/prerm
    ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# What `cmake --install` puts under the prefix, in two components:
#   development  the component library libostrand.a, its headers under
#                include/ostrand/, the CMake package (find_package(ostrand)
#                gives ostrand::ostrand) and the pkg-config file ostrand.pc
#   server       the ostrand executable, the schema scripts of db/, the man page
#                ostrand(1), and the systemd unit with its options file,
#                system user and state directory (see packaging/)
# The Debian package (cmake/packaging.cmake) holds the server component.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(OSTRAND_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ostrand)

install(TARGETS ostrand_lib EXPORT ostrandTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
# The headers keep their folders: a program includes "component/schedulers.h".
# Those of the web host, the feeds and the exports belong to their own
# libraries, which are not installed.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrand
        COMPONENT development
        FILES_MATCHING PATTERN "*.h"
        PATTERN "web" EXCLUDE PATTERN "feeds" EXCLUDE PATTERN "exports" EXCLUDE)
install(EXPORT ostrandTargets NAMESPACE ostrand:: DESTINATION ${OSTRAND_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ostrandConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/ostrandConfig.cmake
                              INSTALL_DESTINATION ${OSTRAND_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ostrandConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ostrandConfig.cmake
              ${PROJECT_BINARY_DIR}/ostrandConfigVersion.cmake
        DESTINATION ${OSTRAND_CMAKE_DIR} COMPONENT development)
list(JOIN OSTRAND_LIB_PKG_MODULES " " OSTRAND_PC_REQUIRES)
# The file finds the prefix from where it lies, so it holds for any
# `cmake --install --prefix`.
file(RELATIVE_PATH OSTRAND_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/ostrand.pc.in ${PROJECT_BINARY_DIR}/ostrand.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ostrand.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

install(TARGETS ostrand RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(FILES ${OSTRAND_SCHEMA_SCRIPTS}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/ostrand/db COMPONENT server)

# ostrand(1), made by help2man from the program's help texts.
find_program(OSTRAND_HELP2MAN help2man)
if(OSTRAND_HELP2MAN AND NOT OSTRAND_SANITIZE AND NOT OSTRAND_FUZZ)
  set(OSTRAND_MANPAGE ${PROJECT_BINARY_DIR}/man/ostrand.1.gz)
  add_custom_command(
    OUTPUT ${OSTRAND_MANPAGE}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-manpage ${OSTRAND_HELP2MAN} $<TARGET_FILE:ostrand>
            ${OSTRAND_MANPAGE}
    DEPENDS ostrand ${PROJECT_SOURCE_DIR}/scripts/make-manpage
    COMMENT "Writing the man page ostrand(1)"
    VERBATIM)
  add_custom_target(ostrand_manpage ALL DEPENDS ${OSTRAND_MANPAGE})
  install(FILES ${OSTRAND_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT server)
elseif(NOT OSTRAND_SANITIZE AND NOT OSTRAND_FUZZ)
  message(WARNING "help2man not found: no man page (scripts/install-deps installs it)")
endif()

# The systemd unit, its options file, user and state directory. Their
# paths depend on the prefix the install runs with (the Debian package
# installs with /usr, which keeps its options under /etc), so they are
# written at install time.
install(CODE "set(OSTRAND_PACKAGING_DIR \"${PROJECT_SOURCE_DIR}/packaging\")
               set(OSTRAND_STAGING_DIR \"${PROJECT_BINARY_DIR}/ostrand-service\")"
        COMPONENT server)
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install_service.cmake COMPONENT server)

# Run by `cmake --install` (component server): writes the systemd unit and
# the files around it with the paths of the prefix being installed to.
# OSTRAND_PACKAGING_DIR names the templates (packaging/ of the sources),
# OSTRAND_STAGING_DIR where the configured files are written first.
#
# The prefix /usr keeps the options file in /etc, as Debian does; any other
# prefix keeps it in PREFIX/etc.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(OSTRAND_SYSCONFDIR "/etc")
else()
  set(OSTRAND_SYSCONFDIR "${prefix}/etc")
endif()
set(OSTRAND_BINDIR "${prefix}/bin")
set(OSTRAND_STATEDIR "/var/lib/ostrand")

# One staging directory per destination, so that installs running at the
# same time (cpack and cmake --install) never mix their files.
string(MD5 destination "$ENV{DESTDIR}|${prefix}")
set(staging "${OSTRAND_STAGING_DIR}/${destination}")
file(MAKE_DIRECTORY "${staging}")
foreach(name ostrand.service ostrand.default ostrand.sysusers ostrand.tmpfiles)
  configure_file("${OSTRAND_PACKAGING_DIR}/${name}.in" "${staging}/${name}" @ONLY)
endforeach()

file(INSTALL DESTINATION "${prefix}/lib/systemd/system" TYPE FILE
     FILES "${staging}/ostrand.service")
file(INSTALL DESTINATION "${prefix}/lib/sysusers.d" TYPE FILE
     FILES "${staging}/ostrand.sysusers" RENAME ostrand.conf)
file(INSTALL DESTINATION "${prefix}/lib/tmpfiles.d" TYPE FILE
     FILES "${staging}/ostrand.tmpfiles" RENAME ostrand.conf)
file(INSTALL DESTINATION "${OSTRAND_SYSCONFDIR}/default" TYPE FILE
     FILES "${staging}/ostrand.default" RENAME ostrand)

# The Debian package, made by scripts/package.sh (`cpack -G DEB`) from a Release build configured for the
# prefix /usr: the program looks for its language module in the data folder it was built for.
set(HALCYRA_PACKAGE_MAINTAINER "Halcyra developers <halcyra@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halcyra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collects vital signs from a central station into patient files")
# CPack turns blank lines into the "." lines of a Debian description; lines stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Halcyra is the data input module of a bedside patient-data system. It
connects to a patient-monitoring central station, receives its HL7 2.3
stream, keeps a census of the monitored patients and, for the patients a
nurse ticks, writes one set of vital-sign values per collect interval into
each patient's monitor-data file, telling the data manager about every value.

It runs as a tray program in the desktop session or as a systemd user
service. The package also holds halcyra-pil, which creates, checks, dumps and
plots monitor-data files, and halcyra-hl7, which shows what Halcyra takes
from a captured HL7 stream.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HALCYRA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first packaging of each version; the changelog (packaging/changelog) names the same.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries from what the programs link; the service needs the user's session bus, which a plain
# Debian 12 starts per login only with dbus-user-session.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS dbus-user-session)
set(CPACK_STRIP_FILES ON)
# Installed with DESTDIR and the prefix /usr, so that what follows the prefix at install time (the unit's
# program path, the autostart entry in /etc) is what the machine gets.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Every file in /etc is a conffile: an administrator's change survives an upgrade.
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "/etc/xdg/autostart/halcyra.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

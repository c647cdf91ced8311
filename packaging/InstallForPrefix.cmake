# Run by `cmake --install` (and by CPack, with the prefix /usr): the files whose content or place follows
# the prefix given at install time, not the one the build was configured with.
#   HALCYRA_PACKAGING_SOURCE, HALCYRA_PACKAGING_BINARY: this folder and its build folder
#   HALCYRA_BINDIR: the programs' folder, relative to the prefix

# The unit starts the program of this installation.
set(HALCYRA_INSTALL_BINDIR "${CMAKE_INSTALL_PREFIX}/${HALCYRA_BINDIR}")
configure_file("${HALCYRA_PACKAGING_SOURCE}/halcyra.service.in" "${HALCYRA_PACKAGING_BINARY}/install/halcyra.service"
               @ONLY)
file(INSTALL "${HALCYRA_PACKAGING_BINARY}/install/halcyra.service"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")

# The autostart entry is configuration: in /etc for an installation in /usr, as GNUInstallDirs has it,
# else under the prefix.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(sysconfdir "/etc")
else()
  set(sysconfdir "${CMAKE_INSTALL_PREFIX}/etc")
endif()
file(INSTALL "${HALCYRA_PACKAGING_SOURCE}/halcyra-autostart.desktop" DESTINATION "${sysconfdir}/xdg/autostart"
     RENAME halcyra.desktop)

# Where an installation puts things, and how a program is installed with its manual page.
include(GNUInstallDirs)
find_program(HALCYRA_GZIP gzip REQUIRED)

# Installs a program to the binary folder and its manual page docs/man/<target>.1 to section 1,
# compressed as Debian expects: best compression, and no name or time stamp, so rebuilds are identical.
function(halcyra_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(page ${PROJECT_SOURCE_DIR}/docs/man/${target}.1)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/man/${target}.1)
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${copy}
    COMMAND ${HALCYRA_GZIP} -9nf ${copy}
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${target}(1)")
  add_custom_target(${target}_man_page ALL DEPENDS ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

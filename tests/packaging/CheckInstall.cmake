# Installs the build into a fresh folder and checks what a machine gets: the program with its German
# module beside it, and the service as a systemd user unit (the data manager's session bus is the
# user's) that systemd accepts.
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${DEST} RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(file bin/halcyra bin/halcyra.DEU lib/systemd/user/halcyra.service)
  if(NOT EXISTS ${DEST}/${file})
    message(FATAL_ERROR "the installation lacks ${file}")
  endif()
endforeach()
if(EXISTS ${DEST}/lib/systemd/system/halcyra.service)
  message(FATAL_ERROR "a system unit would run without the user's session bus")
endif()

file(READ ${DEST}/lib/systemd/user/halcyra.service unit)
if(NOT unit MATCHES "\nExecStart=/[^\n]*/bin/halcyra --service\n" OR NOT unit MATCHES "\nWantedBy=default.target\n")
  message(FATAL_ERROR "unexpected unit:\n${unit}")
endif()

# systemd's own check, with the program path pointing at the installed copy.
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(SYSTEMD_ANALYZE AND DEFINED ENV{XDG_RUNTIME_DIR})
  string(REGEX REPLACE "\nExecStart=/[^ \n]*/bin/halcyra" "\nExecStart=${DEST}/bin/halcyra" local "${unit}")
  file(WRITE ${DEST}/halcyra.service "${local}")
  execute_process(COMMAND ${SYSTEMD_ANALYZE} verify --user ${DEST}/halcyra.service
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR out MATCHES "[Uu]nknown")
    message(FATAL_ERROR "systemd-analyze verify --user: ${out}")
  endif()
endif()

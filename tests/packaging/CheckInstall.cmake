# Installs the build into a fresh folder and checks what a machine gets: the programs, each with its
# manual page; the German module in the data folder; the service as a systemd user unit (the data
# manager's session bus is the user's) that starts this installation's program and that systemd accepts;
# the desktop and autostart entries with their icon; and none of the test helpers.
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${DEST} RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()

set(failures)
macro(fail text)
  string(APPEND failures "${text}\n")
endmacro()

foreach(file bin/halcyra bin/halcyra-pil bin/halcyra-hl7 share/halcyra/halcyra.DEU lib/systemd/user/halcyra.service
             share/applications/halcyra.desktop etc/xdg/autostart/halcyra.desktop
             share/icons/hicolor/scalable/apps/halcyra.svg share/doc/halcyra/copyright
             share/doc/halcyra/changelog.Debian.gz)
  if(NOT EXISTS ${DEST}/${file})
    fail("the installation lacks ${file}")
  endif()
endforeach()
if(EXISTS ${DEST}/bin/halcyra.DEU)
  fail("the language module belongs in share/halcyra, not in bin")
endif()
if(EXISTS ${DEST}/lib/systemd/system/halcyra.service)
  fail("a system unit would run without the user's session bus")
endif()
file(GLOB_RECURSE helpers RELATIVE ${DEST} ${DEST}/*cs-sim* ${DEST}/*velgard-standin*)
if(helpers)
  fail("test helpers are installed: ${helpers}")
endif()

# Every program has its manual page, compressed, as the page in docs/man.
find_program(GZIP gzip REQUIRED)
file(GLOB programs RELATIVE ${DEST}/bin ${DEST}/bin/*)
foreach(program ${programs})
  set(page ${DEST}/share/man/man1/${program}.1.gz)
  execute_process(COMMAND ${GZIP} -dc ${page} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET)
  set(expected)
  if(EXISTS ${SOURCE}/docs/man/${program}.1)
    file(READ ${SOURCE}/docs/man/${program}.1 expected)
  endif()
  if(NOT rc EQUAL 0 OR NOT expected OR NOT text STREQUAL expected)
    fail("bin/${program} has no manual page share/man/man1/${program}.1.gz made from docs/man/${program}.1")
  endif()
endforeach()

# The entries start an installed program and show an installed icon.
foreach(entry share/applications/halcyra.desktop etc/xdg/autostart/halcyra.desktop)
  if(EXISTS ${DEST}/${entry})
    file(READ ${DEST}/${entry} text)
    if(NOT text MATCHES "\nExec=([^ \n]+)" OR NOT EXISTS ${DEST}/bin/${CMAKE_MATCH_1})
      fail("${entry}: Exec names no installed program")
    endif()
    if(NOT text MATCHES "\nIcon=([^\n]+)" OR NOT EXISTS ${DEST}/share/icons/hicolor/scalable/apps/${CMAKE_MATCH_1}.svg)
      fail("${entry}: Icon names no installed icon")
    endif()
  endif()
endforeach()

# The unit runs the program of this installation (the prefix given at install time, not the configured one)
# and never gives up restarting: the start limit belongs in [Unit], where systemd reads it.
file(READ ${DEST}/lib/systemd/user/halcyra.service unit)
string(FIND "${unit}" "\nExecStart=${DEST}/bin/halcyra --service\n" at)
if(at EQUAL -1)
  fail("the unit does not start ${DEST}/bin/halcyra --service")
endif()
string(REGEX MATCH "\n\\[Unit\\]\n[^[]*" unitSection "${unit}")
if(NOT unitSection MATCHES "\nStartLimitIntervalSec=0\n")
  fail("the unit gives up after repeated failures")
endif()
if(NOT unit MATCHES "\nWantedBy=default.target\n")
  fail("the unit is not started with the user's session")
endif()

# systemd's own check, including that the manual page the unit names is there.
find_program(SYSTEMD_ANALYZE systemd-analyze)
find_program(MAN man)
if(SYSTEMD_ANALYZE AND DEFINED ENV{XDG_RUNTIME_DIR})
  if(MAN)
    set(man_check --man=yes)
  else()
    set(man_check --man=no)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env MANPATH=${DEST}/share/man
                          ${SYSTEMD_ANALYZE} verify --user ${man_check} ${DEST}/lib/systemd/user/halcyra.service
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR out MATCHES "[Uu]nknown")
    fail("systemd-analyze verify --user: ${out}")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()

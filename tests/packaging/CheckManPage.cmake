# Checks a manual page against its program's --help: every long option the help names appears in the page.
#   PROGRAM: the program; PAGE: its page in troff; WORK: a scratch folder
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# The C locale and empty settings: the help in its own words, whatever the machine's language or hive.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C LANG=C LANGUAGE= HALCYRA_REGISTRY=${WORK}
                        HALCYRA_PREFIX=${WORK} ${PROGRAM} --help
                RESULT_VARIABLE rc OUTPUT_VARIABLE help ERROR_VARIABLE error)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help: exit code ${rc}: ${error}")
endif()
string(REGEX MATCHALL "--[A-Za-z0-9][A-Za-z0-9-]*" options "${help}")
list(REMOVE_DUPLICATES options)
if(NOT options)
  message(FATAL_ERROR "${PROGRAM} --help names no long option:\n${help}")
endif()

# The page as a reader sees it: troff's escaped hyphens and font changes taken out.
file(READ ${PAGE} page)
string(REPLACE "\\-" "-" page "${page}")
string(REGEX REPLACE "\\\\f[BIRP]|\\\\&" "" page "${page}")
set(missing)
foreach(option ${options})
  if(NOT page MATCHES "(^|[^A-Za-z0-9-])${option}([^A-Za-z0-9-]|$)")
    list(APPEND missing ${option})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "${PAGE} does not describe ${missing}, which ${PROGRAM} --help lists")
endif()

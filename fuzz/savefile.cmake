# Save-file container and monitor-data file (core only).
halcyra_add_fuzzer(savefile_container SOURCES ${CMAKE_CURRENT_LIST_DIR}/SaveFileContainerFuzz.cpp LIBS halcyra_savefile)
halcyra_add_fuzzer(savefile_reload SOURCES ${CMAKE_CURRENT_LIST_DIR}/SaveFileReloadFuzz.cpp LIBS halcyra_savefile)

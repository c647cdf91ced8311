# Monitor-data file: appends, header-region reads, declarations.
halcyra_add_benchmark(savefile_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/SaveFileBench.cpp LIBS halcyra_savefile)

# The central-station reader cutting a stream that arrives in reads of network size.
halcyra_add_benchmark(reader_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/CentralStationReaderBench.cpp LIBS halcyra_hl7)

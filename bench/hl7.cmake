# Decoding throughput of typical monitor messages against a plain byte scan of the same buffer.
halcyra_add_benchmark(hl7_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/Hl7Bench.cpp ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp LIBS halcyra_hl7)

# One hour of a 64-bed capture through the collection engine, with the share of each part.
halcyra_add_benchmark(collect_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/CollectBench.cpp LIBS halcyra_engine)

# 1,500 messages of invented labels against the same messages with fixed labels, in one run.
halcyra_add_benchmark(params_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/ParameterBench.cpp LIBS halcyra_engine)

# ConvertData throughput next to memcpy of the same number of doubles.
veltra_add_bench(bench_convert SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConvertBench.cpp LIBS veltra_util)

veltra_add_bench(bench_platform SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/platform.cpp LIBS veltra_platform)

# The driver-backed instrument on the simulated probe: a measurement cycle against a cross-thread
# send, a record moved into the source against a memcpy of its bytes.
veltra_add_bench(bench_driver SOURCES ${CMAKE_CURRENT_LIST_DIR}/DriverBench.cpp LIBS veltra_sim)

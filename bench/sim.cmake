# The simulated probe's sample generation against a memcpy of the same output bytes.
veltra_add_bench(sim_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimBench.cpp LIBS veltra_sim)

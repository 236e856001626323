# Number text and the legacy stream block search over arbitrary input.
veltra_add_fuzzer(fuzz_eval SOURCES ${CMAKE_CURRENT_LIST_DIR}/EvalFuzz.cpp LIBS veltra_util)
veltra_add_fuzzer(fuzz_stream_block SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamBlockFuzz.cpp LIBS veltra_util)

# Chunk streams, settings chunks and data chunks from arbitrary bytes; the test helpers (edit
# model, re-parse check, sparse stream) are shared with the chunk stream tests.
veltra_add_fuzzer(fuzz_iff_walk SOURCES ${CMAKE_CURRENT_LIST_DIR}/IFFWalkFuzz.cpp LIBS veltra_util)
veltra_add_fuzzer(fuzz_iff_edit SOURCES ${CMAKE_CURRENT_LIST_DIR}/IFFEditFuzz.cpp LIBS veltra_util)
veltra_add_fuzzer(fuzz_iff_large SOURCES ${CMAKE_CURRENT_LIST_DIR}/IFFLargeFuzz.cpp LIBS veltra_util)
veltra_add_fuzzer(fuzz_settings_chunk SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsChunkFuzz.cpp LIBS veltra_framework)
veltra_add_fuzzer(fuzz_data_chunk SOURCES ${CMAKE_CURRENT_LIST_DIR}/DataChunkFuzz.cpp LIBS veltra_util)
foreach(target fuzz_iff_edit fuzz_iff_large fuzz_data_chunk)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/util)
endforeach()

# Chunk streams, settings chunks and data chunks from arbitrary bytes.
veltra_add_fuzzer(fuzz_iff_walk SOURCES ${CMAKE_CURRENT_LIST_DIR}/IFFWalkFuzz.cpp LIBS veltra_util)
veltra_add_fuzzer(fuzz_iff_edit SOURCES ${CMAKE_CURRENT_LIST_DIR}/IFFEditFuzz.cpp LIBS veltra_util)
# The edit target shares the edit model and its consistency check with the property test.
target_include_directories(fuzz_iff_edit PRIVATE ${PROJECT_SOURCE_DIR}/tests/util)
veltra_add_fuzzer(fuzz_settings_chunk SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsChunkFuzz.cpp LIBS veltra_framework)
veltra_add_fuzzer(fuzz_data_chunk SOURCES ${CMAKE_CURRENT_LIST_DIR}/DataChunkFuzz.cpp LIBS veltra_util)

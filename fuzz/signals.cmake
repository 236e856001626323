# Signal files (IFF and legacy blocks) read into a source; the writer of its seed corpus.
veltra_add_fuzzer(fuzz_signal_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/SignalFileFuzz.cpp LIBS veltra_signals)
add_executable(signal_corpus_writer ${CMAKE_CURRENT_LIST_DIR}/SignalCorpusWriter.cpp)
target_link_libraries(signal_corpus_writer PRIVATE veltra_signals)

veltra_add_bench(bench_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsBench.cpp LIBS veltra_framework)

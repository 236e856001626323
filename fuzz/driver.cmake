# The notification block the driver shares, read as the driver-backed instrument reads it.
veltra_add_fuzzer(fuzz_notification_block SOURCES ${CMAKE_CURRENT_LIST_DIR}/NotificationBlockFuzz.cpp LIBS veltra_driver)

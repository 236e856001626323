# GoogleTest: the system package natively; for the Windows build compiled from the sources that
# Debian's googletest package installs, so the test programs link it statically.
if(CMAKE_CROSSCOMPILING)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# Every test program writes its results as XML here; scripts/test sums them up.
set(VELTRA_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${VELTRA_TEST_RESULTS})
# Under Wine a Unix path is reached through drive Z:.
if(CMAKE_CROSSCOMPILING)
  set(VELTRA_TEST_RESULTS_ARG Z:${VELTRA_TEST_RESULTS})
else()
  set(VELTRA_TEST_RESULTS_ARG ${VELTRA_TEST_RESULTS})
endif()

# veltra_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One test program per call, run by CTest as a whole (under Wine for the Windows build).
function(veltra_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main veltra_warnings)
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${VELTRA_TEST_RESULTS_ARG}/${name}.xml)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 ENVIRONMENT "WINEDEBUG=-all" LABELS "${ARG_LABELS}")
endfunction()

# Warnings are errors in every build, native and cross.
add_library(veltra_warnings INTERFACE)
target_compile_options(veltra_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror
  -Wshadow -Wcast-align -Wunused -Wnull-dereference -Wdouble-promotion -Wformat=2
  -Wimplicit-fallthrough
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast>)

if(WIN32)
  # Every CPU that runs a supported Windows has SSE2; the data paths rely on it.
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# libFuzzer targets (scripts/fuzz.sh), in a clang build of their own: every library is built
# with coverage for the fuzzer and with ASan and UBSan, so that a fault is a crash.
option(RAVLIN_FUZZ "Build the libFuzzer targets under tests/fuzz (needs clang)" OFF)
if(RAVLIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "RAVLIN_FUZZ needs clang++ as the C++ compiler")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # The targets name libraries defined later: CMake resolves the names at generation.
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/fuzz ${CMAKE_BINARY_DIR}/fuzz-targets)
endif()

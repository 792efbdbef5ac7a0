# The crash-injection program (tests/stress), built on the tests' support library.
if(BUILD_TESTING)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/stress ${CMAKE_BINARY_DIR}/stress)
endif()

# The crash-injection program (tests/stress), built on the tests' support library. Included
# before CTest defines BUILD_TESTING, which is on unless the command line turns it off; the
# targets it names are defined later.
if(NOT WIN32 AND (NOT DEFINED BUILD_TESTING OR BUILD_TESTING))
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/stress ${CMAKE_BINARY_DIR}/stress)
endif()

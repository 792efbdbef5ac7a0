# The Windows programs: per architecture two self-contained programs that Windows XP's loader
# accepts (static runtime; the subsystem version that the toolchain file names), built from
# the same code with the same options. ravlin.exe is a window program (a double-click, or
# "start" at a prompt) that attaches to the console it was started from; ravlin.com is the
# same program for the console subsystem, which a command prompt waits for and takes the exit
# status of: typing "ravlin" at a prompt runs the .com, as PATHEXT puts .COM before .EXE.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(RAVLIN_WINDOWS_ARCH x64)
else()
  set(RAVLIN_WINDOWS_ARCH x86)
endif()
if(NOT RAVLIN_WINDOWS_SUBSYSTEM_VERSION)
  message(FATAL_ERROR "Configure the Windows build with a toolchain file of cmake/toolchains/")
endif()
# CMake's default for MinGW adds kernel32 and eight other system libraries ahead of the C
# runtime, so that the startup code's __C_specific_handler came from KERNEL32.dll, which is not
# known to export it on XP x64, instead of msvcrt.dll, which does. Each target names the
# system libraries it uses; the compiler adds the runtime and kernel32 after them.
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "System libraries every program links" FORCE)

# The version text, generated at every build as on Linux.
set(RAVLIN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
add_custom_target(ravlin_version
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
          -DOUTPUT=${RAVLIN_GENERATED_DIR}/ravlin_version.hpp -P ${CMAKE_CURRENT_LIST_DIR}/Version.cmake
  BYPRODUCTS ${RAVLIN_GENERATED_DIR}/ravlin_version.hpp
  COMMENT "Version text")

add_executable(ravlin_console ${CMAKE_SOURCE_DIR}/app/main.cpp)
get_target_property(RAVLIN_PROGRAM_LIBRARIES ravlin LINK_LIBRARIES)
target_link_libraries(ravlin_console PRIVATE ${RAVLIN_PROGRAM_LIBRARIES})
add_dependencies(ravlin_console required_files)
set_target_properties(ravlin_console PROPERTIES OUTPUT_NAME ravlin SUFFIX .com)
target_compile_definitions(ravlin_console PRIVATE $<$<COMPILE_LANGUAGE:RC>:RAVLIN_CONSOLE_PROGRAM>)
foreach(program ravlin ravlin_console)
  # The native window, and the program's icon, manifest and version information.
  target_sources(${program} PRIVATE ${CMAKE_SOURCE_DIR}/packaging/windows/ravlin.rc)
  target_compile_definitions(${program} PRIVATE RAVLIN_WITH_WIN32_WINDOW
                             RAVLIN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
                             RAVLIN_VERSION_MINOR=${PROJECT_VERSION_MINOR})
  target_include_directories(${program} PRIVATE ${RAVLIN_GENERATED_DIR})
  add_dependencies(${program} ravlin_version)
endforeach()
target_link_options(ravlin PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--subsystem,windows:${RAVLIN_WINDOWS_SUBSYSTEM_VERSION})
target_link_options(ravlin_console PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--subsystem,console:${RAVLIN_WINDOWS_SUBSYSTEM_VERSION})

# Every build of both programs is checked: a program that imports a function the oldest
# supported Windows lacks, imports at load time from a DLL outside the system folder's fixed
# set, has the other subsystem, lacks a line of the manifest, or that XP's loader would refuse, fails the build and is
# deleted, so that the next build links and checks it again. The full import lists land
# beside the build.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GLOB RAVLIN_XP_IMPORTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/packaging/windows/xp-imports/*.txt)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/ravlin-imports.checked
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/check_pe_imports.py
          --arch ${RAVLIN_WINDOWS_ARCH} --subsystem windows --manifest --delete-refused
          --listing ${CMAKE_BINARY_DIR}/ravlin-imports.txt $<TARGET_FILE:ravlin>
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/check_pe_imports.py
          --arch ${RAVLIN_WINDOWS_ARCH} --subsystem console --manifest --delete-refused
          --listing ${CMAKE_BINARY_DIR}/ravlin-com-imports.txt $<TARGET_FILE:ravlin_console>
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/ravlin-imports.checked
  DEPENDS ravlin ravlin_console $<TARGET_FILE:ravlin> $<TARGET_FILE:ravlin_console>
          ${CMAKE_SOURCE_DIR}/scripts/check_pe_imports.py ${RAVLIN_XP_IMPORTS}
  COMMENT "Checking ravlin.exe and ravlin.com against Windows XP's imports and loader"
  VERBATIM)
add_custom_target(ravlin_imports ALL DEPENDS ${CMAKE_BINARY_DIR}/ravlin-imports.checked)

# The test programs for Wine: GoogleTest from Debian's source package, static like the rest.
option(RAVLIN_WINDOWS_TESTS "Build the Windows test programs (run them with scripts/wine_tests.sh)"
       OFF)
set(RAVLIN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
if(RAVLIN_WINDOWS_TESTS)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${RAVLIN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Debian's MinGW-w64 with win32 threads has no std::mutex, which GoogleTest's Notification
  # needs: cmake/googletest holds GoogleTest's platform hook with one that does without.
  target_include_directories(gtest BEFORE PUBLIC ${CMAKE_CURRENT_LIST_DIR}/googletest)
endif()

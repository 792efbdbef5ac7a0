# The version text, the programs that ship (a console-only ravlin beside the window, the
# static ravlin-static), the desktop files and the installed layout:
#   <prefix>/lib/ravlin/        ravlin, regedit, Ravlin_Required_Files/ (and ravlin-gui)
#   <prefix>/bin/ravlin         a link into it; the program finds its folder from
#                               /proc/self/exe, so the importer and the registry files
#                               beside it are the ones used, never a regedit from PATH.
include(GNUInstallDirs)

set(RAVLIN_INSTALL_PROGRAM_DIR "lib/ravlin" CACHE STRING
    "Private program folder below the prefix: ravlin, regedit and Ravlin_Required_Files")
set(RAVLIN_GIT_REVISION "" CACHE STRING
    "Revision that --version shows when the sources are not a git checkout")
set(RAVLIN_HOMEPAGE "https://ravlin.example.org" CACHE STRING
    "Project home page; the desktop metainfo takes the screenshot from <home page>/docs/window.png")
set(RAVLIN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(RAVLIN_FULL_PROGRAM_DIR ${CMAKE_INSTALL_PREFIX}/${RAVLIN_INSTALL_PROGRAM_DIR})

# --- The version: the project version and the checkout's revision, at every build.
add_custom_target(ravlin_version
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
          -DREVISION=${RAVLIN_GIT_REVISION} -DOUTPUT=${RAVLIN_GENERATED_DIR}/ravlin_version.hpp
          -P ${CMAKE_CURRENT_LIST_DIR}/Version.cmake
  BYPRODUCTS ${RAVLIN_GENERATED_DIR}/ravlin_version.hpp
  COMMENT "Version text")

function(ravlin_front_end target)
  target_include_directories(${target} PRIVATE ${RAVLIN_GENERATED_DIR})
  add_dependencies(${target} ravlin_version required_files)
endfunction()
ravlin_front_end(ravlin)
# The Qt window program ships as ravlin-gui, so that a text-only rescue system does not pull in
# Qt with the console package.
if(TARGET ravlin_window)
  ravlin_front_end(ravlin_window)
endif()

# --- ravlin-static: the console front end and the importer in one file linked with -static.
# A consumer that sets RAVLIN_STATIC_LINK gets the static archive of every pkg-config library
# (libhivex.a) instead of the shared one; everyone else links as before.
# The sanitizers' and the fuzzer's runtimes cannot be linked statically: those builds skip it.
find_library(RAVLIN_HIVEX_ARCHIVE NAMES libhivex.a)
if(RAVLIN_HIVEX_ARCHIVE AND NOT RAVLIN_SANITIZE AND NOT RAVLIN_FUZZ)
  get_directory_property(importedTargets DIRECTORY ${CMAKE_SOURCE_DIR} IMPORTED_TARGETS)
  foreach(imported IN LISTS importedTargets)
    if(NOT imported MATCHES "^PkgConfig::")
      continue()
    endif()
    get_target_property(libraries ${imported} INTERFACE_LINK_LIBRARIES)
    set(switched "")
    foreach(library IN LISTS libraries)
      string(REGEX REPLACE "\\.so$" ".a" archive "${library}")
      if(NOT archive STREQUAL library AND EXISTS ${archive})
        set(library "$<IF:$<BOOL:$<TARGET_PROPERTY:RAVLIN_STATIC_LINK>>,${archive},${library}>")
      endif()
      list(APPEND switched "${library}")
    endforeach()
    set_target_properties(${imported} PROPERTIES INTERFACE_LINK_LIBRARIES "${switched}")
  endforeach()

  file(GLOB RAVLIN_REQUIRED_FILES CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/data/Ravlin_Required_Files/*)
  add_custom_command(
    OUTPUT ${RAVLIN_GENERATED_DIR}/embedded_files.cpp
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${CMAKE_SOURCE_DIR}/data/Ravlin_Required_Files
            -DOUTPUT=${RAVLIN_GENERATED_DIR}/embedded_files.cpp
            -P ${CMAKE_CURRENT_LIST_DIR}/Embed.cmake
    DEPENDS ${RAVLIN_REQUIRED_FILES} ${CMAKE_CURRENT_LIST_DIR}/Embed.cmake
    COMMENT "Embedding Ravlin_Required_Files")

  # The two programs' entry points, compiled under other names for the one that holds both.
  add_library(ravlin_static_console_entry OBJECT ${CMAKE_SOURCE_DIR}/app/main.cpp)
  target_compile_definitions(ravlin_static_console_entry PRIVATE main=RavlinConsoleMain)
  target_link_libraries(ravlin_static_console_entry PRIVATE ravlin_app ravlin_backend)
  ravlin_front_end(ravlin_static_console_entry)
  add_library(ravlin_static_regedit_entry OBJECT ${CMAKE_SOURCE_DIR}/tools/regedit/main.cpp)
  target_compile_definitions(ravlin_static_regedit_entry PRIVATE main=RegeditMain)
  target_link_libraries(ravlin_static_regedit_entry PRIVATE ravlin_regfile)

  add_executable(ravlin-static ${CMAKE_SOURCE_DIR}/tools/static/main.cpp
                 ${CMAKE_SOURCE_DIR}/tools/static/private_folder.cpp
                 ${RAVLIN_GENERATED_DIR}/embedded_files.cpp)
  target_link_libraries(ravlin-static PRIVATE ravlin_static_console_entry ravlin_static_regedit_entry
                        ravlin_app ravlin_regfile)
  target_link_options(ravlin-static PRIVATE -static)
  set_target_properties(ravlin-static PROPERTIES RAVLIN_STATIC_LINK ON)
else()
  message(STATUS "ravlin-static is not built (no libhivex.a, or a sanitizer or fuzz build)")
endif()

# --- The icon in the sizes a desktop asks for, made from the SVG at build time.
set(RAVLIN_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/packaging/desktop)
set(RAVLIN_ICON_SIZES 16 24 32 48 64 128 256)
find_program(RAVLIN_RSVG_CONVERT rsvg-convert)
set(RAVLIN_ICONS "")
if(RAVLIN_RSVG_CONVERT)
  foreach(size IN LISTS RAVLIN_ICON_SIZES)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/ravlin.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${RAVLIN_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${RAVLIN_DESKTOP_DIR}/ravlin.svg
      DEPENDS ${RAVLIN_DESKTOP_DIR}/ravlin.svg)
    list(APPEND RAVLIN_ICONS ${png})
  endforeach()
  add_custom_target(ravlin_icons ALL DEPENDS ${RAVLIN_ICONS})
else()
  message(STATUS "rsvg-convert not found: the PNG icons are not made")
endif()

# Files that name the installed program folder or the version.
configure_file(${RAVLIN_DESKTOP_DIR}/ravlin.desktop.in ${RAVLIN_GENERATED_DIR}/ravlin.desktop
               @ONLY)
configure_file(${RAVLIN_DESKTOP_DIR}/org.ravlin.Ravlin.metainfo.xml.in
               ${RAVLIN_GENERATED_DIR}/org.ravlin.Ravlin.metainfo.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/polkit/org.ravlin.Ravlin.policy.in
               ${RAVLIN_GENERATED_DIR}/org.ravlin.Ravlin.policy @ONLY)

# --- Installation. Component "console": what a text-only rescue system needs; "gui": the
# window and its desktop integration.
# A relative link, both paths below the prefix given at install time.
function(ravlin_install_link target link component)
  cmake_path(GET link PARENT_PATH linkFolder)
  file(RELATIVE_PATH relative /prefix/${linkFolder} /prefix/${target})
  set(destination "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}")
  install(CODE "file(MAKE_DIRECTORY \"${destination}/${linkFolder}\")
                file(CREATE_LINK \"${relative}\" \"${destination}/${link}\" SYMBOLIC)
                message(STATUS \"Installing: ${destination}/${link} -> ${relative}\")"
          COMPONENT ${component})
endfunction()

install(PROGRAMS $<TARGET_FILE:ravlin> $<TARGET_FILE:regedit>
        DESTINATION ${RAVLIN_INSTALL_PROGRAM_DIR} COMPONENT console)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/Ravlin_Required_Files
        DESTINATION ${RAVLIN_INSTALL_PROGRAM_DIR} COMPONENT console)
install(FILES ${CMAKE_SOURCE_DIR}/docs/ravlin.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT console)
ravlin_install_link(${RAVLIN_INSTALL_PROGRAM_DIR}/ravlin ${CMAKE_INSTALL_BINDIR}/ravlin console)

if(TARGET ravlin_window)
  install(PROGRAMS $<TARGET_FILE:ravlin_window> DESTINATION ${RAVLIN_INSTALL_PROGRAM_DIR}
          COMPONENT gui)
  install(PROGRAMS ${CMAKE_SOURCE_DIR}/packaging/polkit/ravlin-gui-pkexec
          DESTINATION ${RAVLIN_INSTALL_PROGRAM_DIR} COMPONENT gui)
  ravlin_install_link(${RAVLIN_INSTALL_PROGRAM_DIR}/ravlin-gui ${CMAKE_INSTALL_BINDIR}/ravlin-gui gui)
  ravlin_install_link(${CMAKE_INSTALL_MANDIR}/man1/ravlin.1 ${CMAKE_INSTALL_MANDIR}/man1/ravlin-gui.1
                      gui)
  install(FILES ${RAVLIN_GENERATED_DIR}/ravlin.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${RAVLIN_GENERATED_DIR}/org.ravlin.Ravlin.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
  install(FILES ${RAVLIN_GENERATED_DIR}/org.ravlin.Ravlin.policy
          DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions COMPONENT gui)
  install(FILES ${RAVLIN_DESKTOP_DIR}/ravlin.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
  foreach(size IN LISTS RAVLIN_ICON_SIZES)
    if(RAVLIN_ICONS)
      install(FILES ${CMAKE_BINARY_DIR}/icons/${size}x${size}/ravlin.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
              COMPONENT gui)
    endif()
  endforeach()
endif()

if(BUILD_TESTING)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
endif()

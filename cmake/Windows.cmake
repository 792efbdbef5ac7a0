# The Windows program: one self-contained ravlin.exe per architecture that Windows XP's loader
# accepts (static runtime; the subsystem version that the toolchain file names). It is a
# window program that attaches to the console it was started from.
target_link_options(ravlin PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--subsystem,windows:${RAVLIN_WINDOWS_SUBSYSTEM_VERSION})
# The native window, and the program's icon, manifest and version information.
target_sources(ravlin PRIVATE ${CMAKE_SOURCE_DIR}/packaging/windows/ravlin.rc)
target_compile_definitions(ravlin PRIVATE RAVLIN_WITH_WIN32_WINDOW RAVLIN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} RAVLIN_VERSION_MINOR=${PROJECT_VERSION_MINOR})

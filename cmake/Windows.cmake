# The Windows program: one self-contained ravlin.exe per architecture that Windows XP's loader
# accepts (static runtime; the subsystem version that the toolchain file names). It is a
# window program that attaches to the console it was started from.
target_link_options(ravlin PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--subsystem,windows:${RAVLIN_WINDOWS_SUBSYSTEM_VERSION})

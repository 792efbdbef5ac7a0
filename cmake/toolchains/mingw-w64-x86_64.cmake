# 64-bit Windows (XP x64 / Server 2003 SP2 and later).
set(RAVLIN_MINGW_TARGET x86_64)
set(RAVLIN_WINDOWS_SUBSYSTEM_VERSION 5.02)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

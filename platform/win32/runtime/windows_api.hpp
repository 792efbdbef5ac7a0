#pragma once

// The Windows headers for the backend. They define macros named like methods of the platform
// interfaces (CopyFile -> CopyFileW ...), which would rename those methods in the files that
// implement them; the backend calls the W functions by their full names instead.
#include <windows.h>
// The shell and version headers build on windows.h.
#include <shellapi.h>
#include <winver.h>

#undef CopyFile
#undef DeleteFile
#undef GetEnvironmentVariable
#undef MoveFile
#undef ReplaceFile

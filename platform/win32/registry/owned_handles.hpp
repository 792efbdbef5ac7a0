#pragma once

#include <memory>

// The two handle types as windows.h declares them (STRICT), so that headers of the registry
// backend stay free of windows.h and its macros.
struct HKEY__;

namespace ravlin {

// Closes a registry key with RegCloseKey (the predefined roots are never handed to it).
struct KeyCloser {
  void operator()(HKEY__* key) const;
};
using OwnedKey = std::unique_ptr<HKEY__, KeyCloser>;

// Closes a kernel object handle with CloseHandle.
struct HandleCloser {
  void operator()(void* handle) const;
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace ravlin

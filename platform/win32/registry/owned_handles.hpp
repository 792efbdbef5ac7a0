#pragma once

#include <memory>

// The key handle type as windows.h declares it (STRICT), so that headers of the registry
// backend stay free of windows.h and its macros.
struct HKEY__;

namespace ravlin {

// Closes a registry key with RegCloseKey (the predefined roots are never handed to it).
struct KeyCloser {
  void operator()(HKEY__* key) const;
};
using OwnedKey = std::unique_ptr<HKEY__, KeyCloser>;

}  // namespace ravlin

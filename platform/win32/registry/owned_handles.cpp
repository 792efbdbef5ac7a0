#include "platform/win32/registry/owned_handles.hpp"

#include <windows.h>

#include <type_traits>

namespace ravlin {

static_assert(std::is_same_v<HKEY, HKEY__*>, "windows.h declares HKEY as STRICT does");

void KeyCloser::operator()(HKEY__* key) const {
  ::RegCloseKey(key);
}

}  // namespace ravlin

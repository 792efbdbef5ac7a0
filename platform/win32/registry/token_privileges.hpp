#pragma once

#include <windows.h>

#include <cstddef>

namespace ravlin {

// TOKEN_PRIVILEGES with room for two entries (windows.h declares one).
struct TwoTokenPrivileges {
  DWORD PrivilegeCount = 0;
  LUID_AND_ATTRIBUTES Privileges[2]{};

  PTOKEN_PRIVILEGES get() { return reinterpret_cast<PTOKEN_PRIVILEGES>(this); }
};
static_assert(offsetof(TwoTokenPrivileges, Privileges) == offsetof(TOKEN_PRIVILEGES, Privileges));

}  // namespace ravlin

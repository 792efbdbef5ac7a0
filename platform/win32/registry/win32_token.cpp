#include "platform/win32/registry/win32_token.hpp"

#include <windows.h>

#include "platform/win32/registry/token_privileges.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

HANDLE AsHandle(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool Win32Token::Record(bool succeeded) {
  lastError_ = succeeded ? ERROR_SUCCESS : ::GetLastError();
  return succeeded;
}

Handle Win32Token::GetCurrentProcess() {
  return reinterpret_cast<Handle>(::GetCurrentProcess());
}

bool Win32Token::OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) {
  HANDLE opened = nullptr;
  if (!Record(::OpenProcessToken(AsHandle(process), desiredAccess, &opened) != FALSE)) return false;
  tokens_.emplace_back(opened);
  token = reinterpret_cast<Handle>(opened);
  return true;
}

bool Win32Token::LookupPrivilegeValueA(const std::string& systemName, const std::string& name,
                                       Luid& luid) {
  const std::wstring system = Wide(systemName);
  LUID found{};
  if (!Record(::LookupPrivilegeValueW(systemName.empty() ? nullptr : system.c_str(),
                                      Wide(name).c_str(), &found) != FALSE))
    return false;
  luid = Luid{found.LowPart, found.HighPart};
  return true;
}

bool Win32Token::AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                                       const TokenPrivileges& newState, std::uint32_t) {
  if (newState.privilegeCount > newState.privileges.size()) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return false;
  }
  TwoTokenPrivileges state;
  state.PrivilegeCount = newState.privilegeCount;
  for (std::uint32_t i = 0; i < newState.privilegeCount; ++i) {
    const auto& entry = newState.privileges[i];
    state.Privileges[i].Luid = LUID{entry.luid.lowPart, entry.luid.highPart};
    state.Privileges[i].Attributes = entry.attributes;
  }
  // The previous state is not asked for, so no buffer for it.
  const bool adjusted =
      ::AdjustTokenPrivileges(AsHandle(token), disableAllPrivileges ? TRUE : FALSE, state.get(), 0,
                              nullptr, nullptr) != FALSE;
  // Set after a success too: ERROR_NOT_ALL_ASSIGNED comes with one.
  lastError_ = ::GetLastError();
  return adjusted;
}

std::uint32_t Win32Token::GetLastError() {
  return lastError_;
}

}  // namespace ravlin

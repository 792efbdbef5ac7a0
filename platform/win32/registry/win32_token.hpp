#pragma once

#include <vector>

#include "platform/token.hpp"
#include "platform/win32/runtime/win32_handles.hpp"

namespace ravlin {

// The process token through advapi32. Tokens it opens stay open until it goes: the interface
// has no call to close them.
class Win32Token : public Token {
 public:
  Win32Token() = default;
  Win32Token(const Win32Token&) = delete;
  Win32Token& operator=(const Win32Token&) = delete;

  Handle GetCurrentProcess() override;
  bool OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) override;
  bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name,
                             Luid& luid) override;
  // Also after a success the error number tells whether every privilege was assigned
  // (0 or 1300), as on Windows.
  bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                             const TokenPrivileges& newState, std::uint32_t bufferLength) override;
  // The error number of this object's last call, kept from the moment it returned.
  std::uint32_t GetLastError() override;

 private:
  bool Record(bool succeeded);

  std::vector<UniqueHandle> tokens_;
  std::uint32_t lastError_ = 0;
};

}  // namespace ravlin

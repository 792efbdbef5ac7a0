#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/token.hpp"

namespace ravlin::testing {

inline constexpr Handle kProcessHandle = 0x1234;
inline constexpr Handle kTokenHandle = 0x88;
inline constexpr std::uint32_t kRestoreLow = 18;
inline constexpr std::uint32_t kBackupLow = 17;

// A process token whose calls fail on command, each with the error number it is given. It
// refuses a token handle that it did not hand out with 6 (invalid handle), as Windows does.
class CommandedToken : public Token {
 public:
  std::uint32_t openError = 0;
  std::uint32_t restoreLookupError = 0;
  std::uint32_t backupLookupError = 0;
  std::uint32_t enableError = 0;
  std::uint32_t disableError = 0;

  struct Adjustment {
    Handle token;
    bool disableAll;
    TokenPrivileges state;
    std::uint32_t length;
  };
  std::vector<Adjustment> adjustments;
  std::uint32_t openedWithAccess = 0;

  Handle GetCurrentProcess() override { return kProcessHandle; }

  bool OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) override {
    openedWithAccess = desiredAccess;
    if (openError != 0 || process != kProcessHandle) return Fail(openError);
    token = kTokenHandle;
    return true;
  }

  bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name,
                             Luid& luid) override {
    if (!systemName.empty()) return Fail(1722);
    if (name == "SeRestorePrivilege") {
      if (restoreLookupError != 0) return Fail(restoreLookupError);
      luid = {kRestoreLow, 0};
      return true;
    }
    if (name == "SeBackupPrivilege") {
      if (backupLookupError != 0) return Fail(backupLookupError);
      luid = {kBackupLow, 0};
      return true;
    }
    return Fail(1313);
  }

  bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivileges& newState,
                             std::uint32_t length) override {
    adjustments.push_back({token, disableAll, newState, length});
    if (token != kTokenHandle) return Fail(6);
    const std::uint32_t error = disableAll ? disableError : enableError;
    if (error != 0) return Fail(error);
    return true;
  }

  std::uint32_t GetLastError() override { return lastError_; }

 private:
  bool Fail(std::uint32_t error) {
    lastError_ = error;
    return false;
  }
  std::uint32_t lastError_ = 0;
};

}  // namespace ravlin::testing

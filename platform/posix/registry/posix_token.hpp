#pragma once

#include <memory>

#include "platform/posix/registry/privilege_state.hpp"
#include "platform/token.hpp"

namespace ravlin {

// The process token on Linux: the two hive privileges, disabled until enabled. Writing a
// hive file needs only the file permissions, checked when the hive is mounted; a process
// that may not override them (not the administrator) is told 1300 when it enables them,
// and a hive it may not write is refused with 1314, as Windows refuses a user without them.
class PosixToken : public Token {
 public:
  explicit PosixToken(std::shared_ptr<PrivilegeState> privileges);

  Handle GetCurrentProcess() override;
  bool OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) override;
  bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name,
                             Luid& luid) override;
  bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                             const TokenPrivileges& newState, std::uint32_t bufferLength) override;
  std::uint32_t GetLastError() override { return lastError_; }

 private:
  bool Fail(std::uint32_t error);

  std::shared_ptr<PrivilegeState> privileges_;
  Handle openToken_ = 0;
  std::uint32_t lastError_ = 0;
};

}  // namespace ravlin

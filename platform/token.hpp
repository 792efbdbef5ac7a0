#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/handles.hpp"

namespace ravlin {

struct Luid {
  std::uint32_t lowPart = 0;
  std::int32_t highPart = 0;
};

struct LuidAndAttributes {
  Luid luid;
  std::uint32_t attributes = 0;
};

// TOKEN_PRIVILEGES with room for two entries (28 bytes on Windows).
struct TokenPrivileges {
  std::uint32_t privilegeCount = 0;
  std::array<LuidAndAttributes, 2> privileges{};
};

inline constexpr std::uint32_t kTokenAdjustPrivileges = 0x0020;
inline constexpr std::uint32_t kTokenQuery = 0x0008;
inline constexpr std::uint32_t kSePrivilegeEnabled = 2;
inline constexpr std::uint32_t kTokenPrivilegesSize = 28;

// The process-token calls. Each returns true on success; after a failure, GetLastError()
// gives the system's error number for it.
class Token {
 public:
  virtual ~Token() = default;

  virtual Handle GetCurrentProcess() = 0;
  virtual bool OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) = 0;
  // An empty system name means the local computer.
  virtual bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name,
                                     Luid& luid) = 0;
  virtual bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                                     const TokenPrivileges& newState,
                                     std::uint32_t bufferLength) = 0;
  virtual std::uint32_t GetLastError() = 0;
};

}  // namespace ravlin

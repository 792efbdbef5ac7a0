#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.hpp"

namespace ravlin {

// The two privileges that mounting and unmounting a hive file need: enabled once when the
// window loads, dropped once when it unloads. Every failing call is reported in a box titled
// `title` and the sequence goes on. The token handle and the privilege record live for the
// whole run.
class modLoadReg {
 public:
  modLoadReg(Platform platform, std::string_view title);

  void EnablePrivileges();
  void DisablePrivileges();

 private:
  // The box that names the failed call and the system's error number.
  void ShowFailure(std::string_view prefix, std::uint32_t errorNumber);

  Platform platform_;
  std::string title_;
  Handle token_ = 0;
  Luid restoreId_;
  Luid backupId_;
  TokenPrivileges privileges_;
};

}  // namespace ravlin

#pragma once

#include "platform/platform.hpp"

namespace ravlin {

// The two privileges that mounting and unmounting a hive file need: enabled once when the
// window loads, dropped once when it unloads. Every failing call is reported in a box and
// the sequence goes on. The token handle and the privilege record live for the whole run.
class modLoadReg {
 public:
  explicit modLoadReg(Platform platform);

  void EnablePrivileges();
  void DisablePrivileges();

 private:
  Platform platform_;
  Handle token_ = 0;
  Luid restoreId_;
  Luid backupId_;
  TokenPrivileges privileges_;
};

}  // namespace ravlin

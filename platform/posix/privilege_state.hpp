#pragma once

namespace ravlin {

// Which of the two hive privileges this process has enabled. Linux has no process token,
// so the token backend keeps this and the registry backend asks it before mounting or
// unmounting a hive, as Windows checks the token.
class PrivilegeState {
 public:
  void SetRestore(bool enabled) { restore_ = enabled; }
  void SetBackup(bool enabled) { backup_ = enabled; }
  void DisableAll() { restore_ = backup_ = false; }
  bool HiveCallsAllowed() const { return restore_ && backup_; }

 private:
  bool restore_ = false;
  bool backup_ = false;
};

}  // namespace ravlin

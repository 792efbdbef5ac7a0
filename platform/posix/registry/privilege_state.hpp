#pragma once

namespace ravlin {

// Whether this process may change files whatever their permissions say (the administrator,
// or the capability to override file permissions): Linux's nearest thing to holding the
// backup and restore privileges.
bool ProcessOverridesFilePermissions();

// Which of the two hive privileges this process has enabled. Linux has no process token,
// so the token backend keeps this and the registry backend asks it before mounting or
// unmounting a hive, as Windows checks the token.
class PrivilegeState {
 public:
  explicit PrivilegeState(bool overridesFilePermissions = ProcessOverridesFilePermissions())
      : overridesFilePermissions_(overridesFilePermissions) {}

  void SetRestore(bool enabled) { restore_ = enabled; }
  void SetBackup(bool enabled) { backup_ = enabled; }
  void DisableAll() { restore_ = backup_ = false; }
  bool HiveCallsAllowed() const { return restore_ && backup_; }
  // A process without this right may still mount a hive it may write; one it may not write
  // is refused as Windows refuses a user without the privileges.
  bool OverridesFilePermissions() const { return overridesFilePermissions_; }

 private:
  bool overridesFilePermissions_;
  bool restore_ = false;
  bool backup_ = false;
};

}  // namespace ravlin

#pragma once

#include <memory>

#include "platform/file_replace.hpp"
#include "platform/win32/files/win32_guest_root.hpp"

namespace ravlin {

// ReplaceFileW with a backup name and write-through, so the old target is kept under the
// backup name and the replacement takes its name in one step. Below the guest folder no
// junction or link on the way may lead elsewhere, and none of the files may be one.
class Win32FileReplacer : public FileReplacer {
 public:
  explicit Win32FileReplacer(
      std::shared_ptr<Win32GuestRoot> guest = std::make_shared<Win32GuestRoot>())
      : guest_(std::move(guest)) {}

  void ReplaceFile(const std::string& target, const std::string& replacement,
                   const std::string& keepOldAs) override;

 private:
  std::shared_ptr<Win32GuestRoot> guest_;
};

}  // namespace ravlin

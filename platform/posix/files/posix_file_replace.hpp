#pragma once

#include <memory>

#include "platform/file_replace.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/guest_root.hpp"

namespace ravlin {

// A hard link keeps the old file (a flushed copy where the file system has no links), then
// an atomic rename puts the replacement in place; the folder is flushed after each step.
// Below the guest folder every file is reached beneath it, and none of them may be a link.
class PosixFileReplacer : public FileReplacer {
 public:
  explicit PosixFileReplacer(std::shared_ptr<const DriveTable> drives,
                             std::shared_ptr<GuestRoot> guest = std::make_shared<GuestRoot>());

  void ReplaceFile(const std::string& target, const std::string& replacement,
                   const std::string& keepOldAs) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
  std::shared_ptr<GuestRoot> guest_;
};

}  // namespace ravlin

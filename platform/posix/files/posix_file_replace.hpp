#pragma once

#include <memory>

#include "platform/file_replace.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// A hard link keeps the old file (a flushed copy where the file system has no links), then
// an atomic rename puts the replacement in place; the folder is flushed after each step.
class PosixFileReplacer : public FileReplacer {
 public:
  explicit PosixFileReplacer(std::shared_ptr<const DriveTable> drives);

  void ReplaceFile(const std::string& target, const std::string& replacement,
                   const std::string& keepOldAs) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
};

}  // namespace ravlin

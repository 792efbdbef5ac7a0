#pragma once

#include "platform/file_replace.hpp"

namespace ravlin {

// ReplaceFileW with a backup name and write-through, so the old target is kept under the
// backup name and the replacement takes its name in one step.
class Win32FileReplacer : public FileReplacer {
 public:
  void ReplaceFile(const std::string& target, const std::string& replacement,
                   const std::string& keepOldAs) override;
};

}  // namespace ravlin

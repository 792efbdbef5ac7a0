#pragma once

#include <string>

namespace ravlin {

// Puts one file in place of another so that a power cut at any instant leaves the target
// either as it was or as the replacement, never missing or partly written (Windows'
// ReplaceFile). Paths are Windows path texts.
class FileReplacer {
 public:
  virtual ~FileReplacer() = default;

  // `replacement` becomes `target`; the old target is kept as `keepOldAs`, which must not
  // exist. Throws RuntimeError (58 when `keepOldAs` exists, 53 for a missing file) with
  // nothing changed.
  virtual void ReplaceFile(const std::string& target, const std::string& replacement,
                           const std::string& keepOldAs) = 0;
};

}  // namespace ravlin

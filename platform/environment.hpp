#pragma once

#include <optional>
#include <string>

namespace ravlin {

class Environment {
 public:
  virtual ~Environment() = default;

  // The variable's value in the ANSI code page, or nothing when it is not set.
  virtual std::optional<std::string> GetEnvironmentVariable(const std::string& name) = 0;
  // The folder of the running executable in drive-letter form, without a trailing backslash
  // except at a drive root.
  virtual std::string ProgramFolder() = 0;
};

}  // namespace ravlin

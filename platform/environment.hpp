#pragma once

#include <cstdint>
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
  // What a status number that a message box shows means on this system and what the user
  // can do about it here, as one plain line, or "" for a number without advice.
  virtual std::string StatusAdvice(std::int32_t status) = 0;
  // Whether `folder` (drive-letter form) is the Windows folder of the running system,
  // however it is spelt.
  virtual bool IsRunningSystemsWindowsFolder(const std::string& folder) = 0;
};

}  // namespace ravlin

#pragma once

#include <filesystem>

#include "platform/environment.hpp"

namespace ravlin {

// The process environment (GetEnvironmentVariableW) and the program folder.
class Win32Environment : public Environment {
 public:
  // An empty `programFolder` stands for the folder of the running executable.
  explicit Win32Environment(std::filesystem::path programFolder);

  std::optional<std::string> GetEnvironmentVariable(const std::string& name) override;
  std::string ProgramFolder() override;
  std::string StatusAdvice(std::int32_t status) override;
  bool IsRunningSystemsWindowsFolder(const std::string& folder) override;

 private:
  std::filesystem::path programFolder_;
};

// The folder of the running executable (GetModuleFileNameW).
std::filesystem::path ExecutableFolder();

}  // namespace ravlin

#pragma once

#include <filesystem>
#include <memory>

#include "platform/environment.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// The process environment in the ANSI code page, and the program folder in drive-letter form.
class PosixEnvironment : public Environment {
 public:
  PosixEnvironment(std::shared_ptr<const DriveTable> drives, std::filesystem::path programFolder);

  std::optional<std::string> GetEnvironmentVariable(const std::string& name) override;
  std::string ProgramFolder() override;
  std::string StatusAdvice(std::int32_t status) override;
  bool IsRunningSystemsWindowsFolder(const std::string& folder) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
  std::filesystem::path programFolder_;
};

}  // namespace ravlin

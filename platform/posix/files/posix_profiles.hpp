#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/drives.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// Settings files in the INI format with Windows' private-profile semantics: section and entry
// names match ignoring case and surrounding blanks, a value loses its surrounding blanks and
// one pair of matching quotes, a missing file or entry reads as the default, and a write
// creates the file and the section as needed. The file is named by a Windows path text,
// resolved through the drive table; its content is ANSI text. A write replaces the file
// through a flushed temporary beside it, so a crash leaves either the old or the new file.
class PosixProfiles : public Profiles {
 public:
  explicit PosixProfiles(std::shared_ptr<const DriveTable> drives);

  std::uint32_t GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, std::string& returned,
                                         std::uint32_t size, const std::string& file) override;
  std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& key,
                                     std::int32_t defaultValue, const std::string& file) override;
  bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& file) override;

 private:
  // The machine's path of a settings file, or nothing for a text that no drive reaches or
  // that holds characters a Windows file name cannot.
  std::optional<std::filesystem::path> NativeFile(const std::string& file) const;

  std::shared_ptr<const DriveTable> drives_;
};

}  // namespace ravlin

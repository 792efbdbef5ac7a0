#pragma once

#include "platform/drives.hpp"

namespace ravlin {

// The system's drive letters (GetLogicalDriveStringsW). Its paths are drive-letter paths
// already, so both mappings only make a path absolute with backslashes; a long-path form
// ("\\?\C:\...") loses its prefix, and a path without a drive letter (a network share)
// has no drive path.
class Win32Drives : public Drives {
 public:
  std::uint32_t GetLogicalDriveStringsA(std::uint32_t bufferLength, std::string& buffer) override;
  std::string ToDrivePath(const std::filesystem::path& native) override;
  std::optional<std::filesystem::path> ToNativePath(const std::string& drivePath) override;
};

}  // namespace ravlin

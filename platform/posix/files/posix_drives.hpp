#pragma once

#include <memory>

#include "platform/drives.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// The drive list and path translation of the drive table.
class PosixDrives : public Drives {
 public:
  explicit PosixDrives(std::shared_ptr<const DriveTable> drives);

  std::uint32_t GetLogicalDriveStringsA(std::uint32_t bufferLength, std::string& buffer) override;
  std::string ToDrivePath(const std::filesystem::path& native) override;
  std::optional<std::filesystem::path> ToNativePath(const std::string& drivePath) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
};

}  // namespace ravlin

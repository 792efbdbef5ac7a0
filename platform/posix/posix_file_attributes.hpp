#pragma once

#include <memory>
#include <string>

#include "platform/drives.hpp"
#include "platform/posix/drive_table.hpp"

namespace ravlin {

// DOS attributes and file deletion on Linux (see dos_attributes.hpp for where the bits live).
// As on Windows, a read-only file cannot be deleted until its read-only bit is cleared.
class PosixFileAttributes : public FileAttributes {
 public:
  explicit PosixFileAttributes(std::shared_ptr<const DriveTable> drives);

  std::uint16_t GetAttr(const std::string& path) override;
  void SetAttr(const std::string& path, std::uint16_t attributes) override;
  void Kill(const std::string& path) override;
  bool SetFileAttributesA(const std::string& path, std::uint32_t attributes) override;
  bool DeleteFileA(const std::string& path) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
};

}  // namespace ravlin

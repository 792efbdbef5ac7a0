#pragma once

#include <memory>
#include <string>

#include "platform/drives.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/guest_root.hpp"

namespace ravlin {

// DOS attributes and file deletion on Linux (see dos_attributes.hpp for where the bits live).
// As on Windows, a read-only file cannot be deleted until its read-only bit is cleared.
class PosixFileAttributes : public FileAttributes {
 public:
  // Changes below the chosen guest folder of `guest` stay beneath it (see GuestRoot).
  explicit PosixFileAttributes(std::shared_ptr<const DriveTable> drives,
                               std::shared_ptr<GuestRoot> guest = std::make_shared<GuestRoot>());

  std::uint16_t GetAttr(const std::string& path) override;
  void SetAttr(const std::string& path, std::uint16_t attributes) override;
  void Kill(const std::string& path) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
  std::shared_ptr<GuestRoot> guest_;
};

}  // namespace ravlin

#pragma once

#include <memory>

#include "platform/drives.hpp"
#include "platform/win32/files/win32_guest_root.hpp"

namespace ravlin {

// Attributes and deletion by path through GetFileAttributesW, SetFileAttributesW and
// DeleteFileW.
class Win32FileAttributes : public FileAttributes {
 public:
  explicit Win32FileAttributes(
      std::shared_ptr<Win32GuestRoot> guest = std::make_shared<Win32GuestRoot>());

  std::uint16_t GetAttr(const std::string& path) override;
  void SetAttr(const std::string& path, std::uint16_t attributes) override;
  void Kill(const std::string& path) override;

 private:
  std::shared_ptr<Win32GuestRoot> guest_;
};

}  // namespace ravlin

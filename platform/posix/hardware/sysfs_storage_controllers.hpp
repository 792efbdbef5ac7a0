#pragma once

#include <filesystem>

#include "platform/storage_controllers.hpp"

namespace ravlin {

// The storage controllers from sysfs: every device below <root>/bus/pci/devices whose class
// file names base class 01. The root is /sys on a running machine, or a copy of another
// machine's sysfs.
class SysfsStorageControllers : public StorageControllers {
 public:
  explicit SysfsStorageControllers(std::filesystem::path root) : root_(std::move(root)) {}

  StorageControllerList List() override;

 private:
  std::filesystem::path root_;
};

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/storage_controllers.hpp"

namespace ravlin::testing {

struct SysfsDevice {
  std::string address;  // "0000:00:1f.2"
  PciController pci;
};

// Adds a PCI device to a copy of sysfs below `root` as Linux lays it out: the device's folder
// under devices/, its attribute files ("0x8086"), and a link from bus/pci/devices/.
void AddSysfsDevice(const std::filesystem::path& root, const SysfsDevice& device);

// A board with an IDE controller that the IDE repair covers (8086:7111), a SATA controller
// in AHCI mode (8086:2922) and a display adapter.
void MakeSysfsBoard(const std::filesystem::path& root);

}  // namespace ravlin::testing

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ravlin {

// A PCI device as its configuration space names it.
struct PciController {
  std::uint16_t vendor = 0;
  std::uint16_t device = 0;
  std::uint16_t subsystemVendor = 0;
  std::uint16_t subsystemDevice = 0;
  std::uint8_t revision = 0;
  // Base class, subclass and programming interface: 0x010601 is a SATA controller in AHCI mode.
  std::uint32_t classCode = 0;
};

// The mass-storage controllers (PCI base class 01) of the machine Ravlin runs on, in the
// order the machine lists them. `unreadable` says why the machine's device list could not be
// read; it is empty when the list was read, even when it holds no controller.
struct StorageControllerList {
  std::vector<PciController> controllers;
  std::string unreadable;
};

class StorageControllers {
 public:
  virtual ~StorageControllers() = default;

  virtual StorageControllerList List() = 0;
};

inline constexpr std::uint8_t kPciMassStorageClass = 0x01;

}  // namespace ravlin

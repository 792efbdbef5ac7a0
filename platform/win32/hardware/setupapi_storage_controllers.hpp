#pragma once

#include "platform/storage_controllers.hpp"

namespace ravlin {

// The storage controllers from SetupAPI: the present devices of the PCI enumerator, each
// identified by its hardware IDs. SetupAPI is loaded by its full path in the system folder
// when asked, so that the program imports it at load time for nothing else.
class SetupApiStorageControllers : public StorageControllers {
 public:
  StorageControllerList List() override;
};

// The identity in a PCI device's hardware IDs ("PCI\VEN_8086&DEV_2922&SUBSYS_82D41043&REV_02"
// and "PCI\VEN_8086&DEV_2922&CC_010601"); false when they name no vendor, device or class.
bool PciControllerFromHardwareIds(const std::vector<std::string>& ids, PciController& controller);

}  // namespace ravlin

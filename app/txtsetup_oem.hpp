#pragma once

#include <string>
#include <vector>

#include "app/inf_file.hpp"

namespace ravlin {

// A driver floppy's txtsetup.oem, the list XP's text-mode setup reads after F6: its SCSI
// components, each with the driver file, the service it installs and the hardware IDs it
// serves.
struct TxtsetupComponent {
  std::string id;  // the key in [scsi]
  std::string description;
  // The driver's file and where it lies below the floppy ([Disks]' folder, "" for its root).
  std::string driverFile;
  std::string folder;
  std::string service;
  std::string infFile;
  struct HardwareId {
    std::string id;
    std::string service;
  };
  std::vector<HardwareId> hardwareIds;
};

struct TxtsetupOem {
  std::vector<TxtsetupComponent> components;
  std::string defaultComponent;  // [Defaults] scsi
};

// Throws InfError for a file without a [scsi] component whose driver it names.
TxtsetupOem ReadTxtsetupOem(const InfFile& oem);

}  // namespace ravlin

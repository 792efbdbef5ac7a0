#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hive_reader.hpp"
#include "platform/storage_controllers.hpp"

namespace ravlin {

// What a storage controller is, from its class code: "IDE", "SATA AHCI", "RAID", "SCSI",
// "NVMe" or "other".
std::string_view ControllerKind(const PciController& controller);

// The controller's hardware IDs and then its compatible IDs, most specific first, as Windows
// forms them for a PCI device (hexadecimal digits in upper case).
std::vector<std::string> PciDeviceIds(const PciController& controller);

// Whether a file, given relative to the guest's Windows folder ("system32\DRIVERS\x.sys"),
// is in the guest.
using GuestFileCheck = std::function<bool(const std::string& relativePath)>;

struct ControllerVerdict {
  PciController controller;
  // The service that would start the controller at boot, empty when there is none.
  std::string service;
  std::string imagePath;
  // The line for the console and the record.
  std::string line;
};

// Each controller judged against the guest's SYSTEM hive file: its IDs looked up in order in
// the CriticalDeviceDatabase of the control set the guest boots; the first one found names
// the service, which must start at boot and whose file must be in the guest.
std::vector<ControllerVerdict> JudgeControllers(HiveReader& hives, const std::string& hiveFile,
                                                const std::vector<PciController>& controllers,
                                                const GuestFileCheck& fileInGuest);

}  // namespace ravlin

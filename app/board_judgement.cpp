#include "app/board_judgement.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "app/guest_windows.hpp"
#include "platform/codepage.hpp"
#include "platform/registry.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::uint32_t kBootStart = 0;
constexpr std::string_view kDriverFolder = "system32\\DRIVERS\\";

std::string Hex(std::uint32_t value, int digits) {
  char text[9];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::optional<std::uint32_t> DwordValue(HiveReader& hives, const std::string& file,
                                        const std::string& key, const std::string& name) {
  const auto value = hives.ReadValue(file, key, name);
  if (!value || value->type != kRegDword || value->data.size() != 4) return std::nullopt;
  return ReadLe32(value->data);
}

std::optional<std::string> TextValue(HiveReader& hives, const std::string& file,
                                     const std::string& key, const std::string& name) {
  const auto value = hives.ReadValue(file, key, name);
  if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) return std::nullopt;
  return Utf16ToAnsi(Utf16StringFromLe(value->data));
}

// A service's image path relative to the Windows folder, in the form XP writes it: the
// boot loader reads "\SystemRoot\..." and plain relative paths from the Windows folder, and
// a service without ImagePath from system32\DRIVERS\<name>.sys.
std::string GuestRelativeImage(const std::optional<std::string>& imagePath,
                               const std::string& service) {
  if (!imagePath || imagePath->empty()) return std::string(kDriverFolder) + service + ".sys";
  std::string path = *imagePath;
  for (const std::string_view root : {"\\SystemRoot\\", "%SystemRoot%\\", "%windir%\\"})
    if (StartsWithIgnoringAsciiCase(path, root)) path.erase(0, root.size());
  if (StartsWithIgnoringAsciiCase(path, kDriverFolder))
    path = std::string(kDriverFolder) + path.substr(kDriverFolder.size());
  return path;
}

}  // namespace

std::string_view ControllerKind(const PciController& controller) {
  const std::uint32_t subclass = (controller.classCode >> 8) & 0xFF;
  const std::uint32_t interface = controller.classCode & 0xFF;
  if ((controller.classCode >> 16) != kPciMassStorageClass) return "other";
  switch (subclass) {
    case 0x00:
    case 0x07:  // serial attached SCSI
      return "SCSI";
    case 0x01:
      return "IDE";
    case 0x04:
      return "RAID";
    case 0x06:
      return interface == 0x01 ? "SATA AHCI" : "other";
    case 0x08:
      return interface == 0x02 ? "NVMe" : "other";
    default:
      return "other";
  }
}

std::vector<std::string> PciDeviceIds(const PciController& c) {
  const std::string vendor = "PCI\\VEN_" + Hex(c.vendor, 4);
  const std::string device = vendor + "&DEV_" + Hex(c.device, 4);
  const std::string subsystem =
      device + "&SUBSYS_" + Hex(c.subsystemDevice, 4) + Hex(c.subsystemVendor, 4);
  const std::string revision = "&REV_" + Hex(c.revision, 2);
  const std::string classWithInterface = "CC_" + Hex(c.classCode, 6);
  const std::string classOnly = "CC_" + Hex(c.classCode >> 8, 4);
  return {subsystem + revision,
          subsystem,
          device + revision,
          device,
          device + "&" + classWithInterface,
          device + "&" + classOnly,
          vendor + "&" + classWithInterface,
          vendor + "&" + classOnly,
          vendor,
          "PCI\\" + classWithInterface,
          "PCI\\" + classOnly};
}

std::vector<ControllerVerdict> JudgeControllers(HiveReader& hives, const std::string& hiveFile,
                                                const std::vector<PciController>& controllers,
                                                const GuestFileCheck& fileInGuest) {
  const std::string controlSet = CurrentControlSet(hives, hiveFile);
  // The database read once: a hive may hold thousands of entries.
  std::map<std::string, std::string> database;
  for (const HiveKey& entry :
       hives.ReadTree(hiveFile, controlSet + "\\Control\\CriticalDeviceDatabase")
           .value_or(std::vector<HiveKey>{}))
    for (const HiveValue& value : entry.values)
      if (EqualsIgnoringAsciiCase(value.name, "Service") &&
          (value.type == kRegSz || value.type == kRegExpandSz))
        database.emplace(LowerAscii(entry.path), Utf16ToAnsi(Utf16StringFromLe(value.data)));
  std::vector<ControllerVerdict> verdicts;
  for (const PciController& controller : controllers) {
    ControllerVerdict verdict{controller, {}, {}, {}};
    const std::vector<std::string> ids = PciDeviceIds(controller);
    for (const std::string& id : ids) {
      std::string keyName = LowerAscii(id);
      std::replace(keyName.begin(), keyName.end(), '\\', '#');
      const auto found = database.find(keyName);
      if (found == database.end()) continue;
      const std::string& service = found->second;
      // Windows starts the controller with the first entry it finds, whatever that says.
      const std::string serviceKey = controlSet + "\\Services\\" + service;
      const std::string image =
          GuestRelativeImage(TextValue(hives, hiveFile, serviceKey, "ImagePath"), service);
      if (DwordValue(hives, hiveFile, serviceKey, "Start") == kBootStart && fileInGuest(image)) {
        verdict.service = service;
        verdict.imagePath = image;
      }
      break;
    }
    verdict.line =
        "Controller " + ids.front() + " (" + std::string(ControllerKind(controller)) + "): " +
        (verdict.service.empty() ? std::string("no boot driver in the guest")
                                 : "driven by " + verdict.service + " (" + verdict.imagePath + ")");
    verdicts.push_back(std::move(verdict));
  }
  return verdicts;
}

}  // namespace ravlin

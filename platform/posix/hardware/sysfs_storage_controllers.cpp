#include "platform/posix/hardware/sysfs_storage_controllers.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>
#include <string>

namespace ravlin {
namespace {

// The number in a sysfs attribute file such as "0x010601\n"; nothing when the file is
// missing or holds something else.
std::optional<std::uint32_t> HexAttribute(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string text;
  if (!in || !std::getline(in, text)) return std::nullopt;
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  if (text.starts_with("0x") || text.starts_with("0X")) text.erase(0, 2);
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

StorageControllerList SysfsStorageControllers::List() {
  StorageControllerList list;
  const std::filesystem::path devices = root_ / "bus" / "pci" / "devices";
  std::error_code error;
  std::vector<std::filesystem::path> entries;
  for (std::filesystem::directory_iterator it(devices, error), end; !error && it != end;
       it.increment(error))
    entries.push_back(it->path());
  if (error) {
    list.unreadable = devices.string() + ": " + error.message();
    return list;
  }
  // The bus addresses (0000:00:1f.2) sort as the machine numbers its slots.
  std::sort(entries.begin(), entries.end());
  for (const auto& entry : entries) {
    const auto classCode = HexAttribute(entry / "class");
    const auto vendor = HexAttribute(entry / "vendor");
    const auto device = HexAttribute(entry / "device");
    if (!classCode || !vendor || !device || (*classCode >> 16) != kPciMassStorageClass) continue;
    PciController controller;
    controller.classCode = *classCode & 0xFFFFFF;
    controller.vendor = static_cast<std::uint16_t>(*vendor);
    controller.device = static_cast<std::uint16_t>(*device);
    controller.subsystemVendor =
        static_cast<std::uint16_t>(HexAttribute(entry / "subsystem_vendor").value_or(0));
    controller.subsystemDevice =
        static_cast<std::uint16_t>(HexAttribute(entry / "subsystem_device").value_or(0));
    controller.revision = static_cast<std::uint8_t>(HexAttribute(entry / "revision").value_or(0));
    list.controllers.push_back(controller);
  }
  return list;
}

}  // namespace ravlin

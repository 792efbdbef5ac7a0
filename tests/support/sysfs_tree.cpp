#include "tests/support/sysfs_tree.hpp"

#include <cstdio>

#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {
namespace {

std::string Attribute(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x\n", digits, value);
  return text;
}

}  // namespace

void AddSysfsDevice(const std::filesystem::path& root, const SysfsDevice& device) {
  const auto folder = root / "devices" / "pci0000:00" / device.address;
  WriteFile(folder / "vendor", Attribute(device.pci.vendor, 4));
  WriteFile(folder / "device", Attribute(device.pci.device, 4));
  WriteFile(folder / "subsystem_vendor", Attribute(device.pci.subsystemVendor, 4));
  WriteFile(folder / "subsystem_device", Attribute(device.pci.subsystemDevice, 4));
  WriteFile(folder / "revision", Attribute(device.pci.revision, 2));
  WriteFile(folder / "class", Attribute(device.pci.classCode, 6));
  const auto links = root / "bus" / "pci" / "devices";
  std::filesystem::create_directories(links);
  std::filesystem::create_directory_symlink(
      std::filesystem::path("../../..") / "devices" / "pci0000:00" / device.address,
      links / device.address);
}

void MakeSysfsBoard(const std::filesystem::path& root) {
  AddSysfsDevice(root, {"0000:00:01.1", {0x8086, 0x7111, 0x1af4, 0x1100, 0x01, 0x010180}});
  AddSysfsDevice(root, {"0000:00:02.0", {0x1234, 0x1111, 0x1af4, 0x1100, 0x02, 0x030000}});
  AddSysfsDevice(root, {"0000:00:1f.2", {0x8086, 0x2922, 0x1043, 0x82d4, 0x02, 0x010601}});
}

}  // namespace ravlin::testing

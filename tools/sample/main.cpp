// ravlin-sample DIR [--without FILE ...]: writes a small Windows XP-like guest below DIR to try
// the repair on: DIR/WINDOWS/system32/config/system as a real SYSTEM hive (two control sets,
// Select, services as an XP installed on an Intel board has them, no IDE entries in the
// critical device database) and DIR/WINDOWS/system32/drivers with small stand-ins for the
// four IDE driver files and a few others. --without leaves one of those files out.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/posix/testing/hive_writer.hpp"

namespace {

namespace fs = std::filesystem;

using ravlin::testing::DwordValue;
using ravlin::testing::SzValue;
using ravlin::testing::TestKey;

// A driver service as XP records it; an empty image path leaves ImagePath out.
TestKey Service(const std::string& name, std::uint32_t start, const std::string& group,
                const std::string& imagePath, const std::string& displayName = "") {
  TestKey key{"Services\\" + name,
              {DwordValue("ErrorControl", 1), SzValue("Group", group), DwordValue("Start", start),
               DwordValue("Type", 1)}};
  if (!imagePath.empty())
    key.values.push_back(SzValue("ImagePath", imagePath, ravlin::testing::kHiveExpandSz));
  if (!displayName.empty()) key.values.push_back(SzValue("DisplayName", displayName));
  return key;
}

std::vector<TestKey> ControlSetKeys() {
  return {
      {"Control\\ComputerName\\ComputerName", {SzValue("ComputerName", "RAVLIN-SAMPLE")}},
      {"Control\\Session Manager", {DwordValue("ProtectionMode", 1)}},
      {"Control\\CriticalDeviceDatabase\\usb#root_hub",
       {SzValue("ClassGUID", "{36FC9E60-C465-11CF-8056-444553540000}"),
        SzValue("Service", "usbhub")}},
      {"Control\\CriticalDeviceDatabase\\pci#ven_8086&dev_24c2",
       {SzValue("ClassGUID", "{36FC9E60-C465-11CF-8056-444553540000}"),
        SzValue("Service", "usbuhci")}},
      {"Enum\\Root\\LEGACY_BEEP\\0000", {SzValue("Service", "Beep")}},
      {"Enum\\PCI\\VEN_8086&DEV_24CB&SUBSYS_00000000&REV_02\\3&61aaa01&0&F9",
       {SzValue("Service", "intelide")}},
      Service("atapi", 0, "SCSI miniport", "System32\\DRIVERS\\atapi.sys",
              "Standard IDE/ESDI Hard Disk Controller"),
      Service("IntelIde", 0, "System Bus Extender", "System32\\DRIVERS\\intelide.sys"),
      // Installed on an Intel board: the generic PCI IDE driver is off and has no image.
      Service("PCIIde", 4, "System Bus Extender", ""),
      Service("Disk", 0, "SCSI Class", "System32\\DRIVERS\\disk.sys", "Disk Driver"),
      Service("Beep", 1, "Base", "", "Beep"),
      Service("Tcpip", 1, "PNP_TDI", "System32\\DRIVERS\\tcpip.sys", "TCP/IP Protocol Driver"),
  };
}

std::vector<TestKey> HiveKeys() {
  std::vector<TestKey> keys;
  for (const std::string controlSet : {"ControlSet001", "ControlSet002"})
    for (TestKey key : ControlSetKeys()) {
      key.path = controlSet + "\\" + key.path;
      keys.push_back(std::move(key));
    }
  keys.push_back({"Select",
                  {DwordValue("Current", 1), DwordValue("Default", 1), DwordValue("Failed", 0),
                   DwordValue("LastKnownGood", 2)}});
  keys.push_back({"Setup", {SzValue("SystemPartition", "\\Device\\HarddiskVolume1")}});
  keys.push_back({"MountedDevices", {}});
  return keys;
}

const std::vector<std::string> kIdeDrivers = {"atapi.sys", "intelide.sys", "pciide.sys",
                                              "pciidex.sys"};
const std::vector<std::string> kOtherDrivers = {"disk.sys", "beep.sys", "tcpip.sys"};

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

int Usage() {
  std::cerr << "usage: ravlin-sample DIR [--without FILE ...]\n"
               "  FILE is one of atapi.sys, intelide.sys, pciide.sys, pciidex.sys\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty() || arguments.front().rfind("--", 0) == 0) return Usage();
  const fs::path root = arguments.front();
  std::set<std::string> without;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] != "--without" || i + 1 == arguments.size()) return Usage();
    const std::string file = arguments[++i];
    if (std::find(kIdeDrivers.begin(), kIdeDrivers.end(), file) == kIdeDrivers.end())
      return Usage();
    without.insert(file);
  }

  const fs::path windows = root / "WINDOWS";
  const fs::path hive = windows / "system32" / "config" / "system";
  try {
    // A real guest's hive is never overwritten.
    if (fs::exists(hive)) throw std::runtime_error(hive.string() + " exists already");
    fs::create_directories(hive.parent_path());
    ravlin::testing::MakeTestHive(hive, HiveKeys(), "$$$PROTO.HIV");
    const fs::path drivers = windows / "system32" / "drivers";
    fs::create_directories(drivers);
    for (const auto& driver : kIdeDrivers)
      if (!without.count(driver))
        WriteText(drivers / driver, "Ravlin sample guest: stand-in for " + driver + "\n");
    for (const auto& driver : kOtherDrivers)
      WriteText(drivers / driver, "Ravlin sample guest: stand-in for " + driver + "\n");
    WriteText(windows / "system32" / "ntoskrnl.exe", "Ravlin sample guest: stand-in\n");
    WriteText(windows / "system32" / "hal.dll", "Ravlin sample guest: stand-in\n");
    WriteText(
        root / "boot.ini",
        "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
        "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft "
        "Windows XP Professional\" /fastdetect\r\n");
  } catch (const std::exception& error) {
    std::cerr << "ravlin-sample: " << error.what() << "\n";
    return 1;
  }
  std::cout << windows.string() << "\n";
  return 0;
}

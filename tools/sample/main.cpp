// ravlin-sample DIR [--without FILE ...]: writes a small Windows XP-like guest below DIR to try
// the repair on: DIR/WINDOWS/system32/config/system as a real SYSTEM hive (two control sets,
// Select, services as an XP installed on an Intel board has them, no IDE entries in the
// critical device database) and DIR/WINDOWS/system32/drivers with small stand-ins for the
// four IDE driver files and a few others. --without leaves one of those files out.
#include <hivex.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/posix/registry/hive_generator.hpp"

namespace {

namespace fs = std::filesystem;

struct Value {
  std::string name;
  hive_type type;
  std::string data;  // as stored in the hive
};

// REG_SZ / REG_EXPAND_SZ as the hive stores them: UTF-16LE with the closing NUL (ASCII text).
std::string Utf16(const std::string& text) {
  std::string bytes;
  for (const char c : text) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes + std::string(2, '\0');
}

Value Sz(const std::string& name, const std::string& text) {
  return {name, hive_t_REG_SZ, Utf16(text)};
}
Value ExpandSz(const std::string& name, const std::string& text) {
  return {name, hive_t_REG_EXPAND_SZ, Utf16(text)};
}
Value Dword(const std::string& name, std::uint32_t number) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
  return {name, hive_t_REG_DWORD, bytes};
}

struct Key {
  std::string path;  // below the root, components separated by '\'
  std::vector<Value> values;
};

// A driver service as XP records it; an empty image path leaves ImagePath out.
Key Service(const std::string& name, std::uint32_t start, const std::string& group,
            const std::string& imagePath, const std::string& displayName = "") {
  Key key{"Services\\" + name,
          {Dword("ErrorControl", 1), Sz("Group", group), Dword("Start", start), Dword("Type", 1)}};
  if (!imagePath.empty()) key.values.push_back(ExpandSz("ImagePath", imagePath));
  if (!displayName.empty()) key.values.push_back(Sz("DisplayName", displayName));
  return key;
}

std::vector<Key> ControlSetKeys() {
  return {
      {"Control\\ComputerName\\ComputerName", {Sz("ComputerName", "RAVLIN-SAMPLE")}},
      {"Control\\Session Manager", {Dword("ProtectionMode", 1)}},
      {"Control\\CriticalDeviceDatabase\\usb#root_hub",
       {Sz("ClassGUID", "{36FC9E60-C465-11CF-8056-444553540000}"), Sz("Service", "usbhub")}},
      {"Control\\CriticalDeviceDatabase\\pci#ven_8086&dev_24c2",
       {Sz("ClassGUID", "{36FC9E60-C465-11CF-8056-444553540000}"), Sz("Service", "usbuhci")}},
      {"Enum\\Root\\LEGACY_BEEP\\0000", {Sz("Service", "Beep")}},
      {"Enum\\PCI\\VEN_8086&DEV_24CB&SUBSYS_00000000&REV_02\\3&61aaa01&0&F9",
       {Sz("Service", "intelide")}},
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

std::vector<Key> HiveKeys() {
  std::vector<Key> keys;
  for (const std::string controlSet : {"ControlSet001", "ControlSet002"})
    for (Key key : ControlSetKeys()) {
      key.path = controlSet + "\\" + key.path;
      keys.push_back(std::move(key));
    }
  keys.push_back(
      {"Select",
       {Dword("Current", 1), Dword("Default", 1), Dword("Failed", 0), Dword("LastKnownGood", 2)}});
  keys.push_back({"Setup", {Sz("SystemPartition", "\\Device\\HarddiskVolume1")}});
  keys.push_back({"MountedDevices", {}});
  return keys;
}

class Hive {
 public:
  explicit Hive(const fs::path& file) : handle_(hivex_open(file.c_str(), HIVEX_OPEN_WRITE)) {
    if (handle_ == nullptr) throw std::runtime_error("cannot open " + file.string());
  }
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;
  ~Hive() { hivex_close(handle_); }

  // The key at `path`, made with its missing parents.
  hive_node_h Key(const std::string& path) {
    hive_node_h node = hivex_root(handle_);
    std::size_t start = 0;
    while (start < path.size()) {
      const std::size_t end = std::min(path.find('\\', start), path.size());
      const std::string name = path.substr(start, end - start);
      hive_node_h child = hivex_node_get_child(handle_, node, name.c_str());
      if (child == 0) child = hivex_node_add_child(handle_, node, name.c_str());
      if (child == 0) throw std::runtime_error("cannot add key " + path);
      node = child;
      start = end + 1;
    }
    return node;
  }

  void SetValues(hive_node_h node, std::vector<Value> values) {
    std::vector<hive_set_value> set;
    for (auto& value : values)
      set.push_back({value.name.data(), value.type, value.data.size(), value.data.data()});
    if (hivex_node_set_values(handle_, node, set.size(), set.data(), 0) != 0)
      throw std::runtime_error("cannot set values");
  }

  void Commit() {
    if (hivex_commit(handle_, nullptr, 0) != 0) throw std::runtime_error("cannot write the hive");
  }

 private:
  hive_h* handle_;
};

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
    ravlin::WriteEmptyHive(hive, "$$$PROTO.HIV");
    {
      Hive system(hive);
      for (const auto& key : HiveKeys()) {
        const hive_node_h node = system.Key(key.path);
        if (!key.values.empty()) system.SetValues(node, key.values);
      }
      system.Commit();
    }
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

// Writes tarvel001.reg to tarvel009.reg: the settings that let Windows XP start from a
// standard IDE/ATA controller after a board change (Microsoft KB 314082), file N below the
// mounted guest's control set N. The files are in the registry editor's own export format
// ("Windows Registry Editor Version 5.00", UTF-16LE with BOM, CR LF), as XP's editor writes
// them, so that string data need no code-page conversion on the way into the hive.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kHdcClass = "{4D36E96A-E325-11CE-BFC1-08002BE10318}";
constexpr std::string_view kDiskClass = "{4D36E967-E325-11CE-BFC1-08002BE10318}";

struct CriticalDevice {
  std::string_view deviceId;
  std::string_view classGuid;
  std::string_view service;
};

constexpr CriticalDevice kCriticalDevices[] = {
    {"primary_ide_channel", kHdcClass, "atapi"},
    {"secondary_ide_channel", kHdcClass, "atapi"},
    {"*pnp0600", kHdcClass, "atapi"},
    {"*azt0502", kHdcClass, "atapi"},
    {"gendisk", kDiskClass, "disk"},
    {"pci#cc_0101", kHdcClass, "pciide"},
    {"pci#ven_0e11&dev_ae33", kHdcClass, "pciide"},
    {"pci#ven_1039&dev_0601", kHdcClass, "pciide"},
    {"pci#ven_1039&dev_5513", kHdcClass, "pciide"},
    {"pci#ven_1042&dev_1000", kHdcClass, "pciide"},
    {"pci#ven_105a&dev_4d33", kHdcClass, "pciide"},
    {"pci#ven_1095&dev_0640", kHdcClass, "pciide"},
    {"pci#ven_1095&dev_0646", kHdcClass, "pciide"},
    {"pci#ven_1095&dev_0646&rev_05", kHdcClass, "pciide"},
    {"pci#ven_1095&dev_0646&rev_07", kHdcClass, "pciide"},
    {"pci#ven_1095&dev_0648", kHdcClass, "pciide"},
    {"pci#ven_1095&dev_0649", kHdcClass, "pciide"},
    {"pci#ven_1097&dev_0038", kHdcClass, "pciide"},
    {"pci#ven_10ad&dev_0001", kHdcClass, "pciide"},
    {"pci#ven_10ad&dev_0150", kHdcClass, "pciide"},
    {"pci#ven_10b9&dev_5215", kHdcClass, "pciide"},
    {"pci#ven_10b9&dev_5219", kHdcClass, "pciide"},
    {"pci#ven_10b9&dev_5229", kHdcClass, "pciide"},
    {"pci#ven_1106&dev_0571", kHdcClass, "pciide"},
    {"pci#ven_8086&dev_1222", kHdcClass, "intelide"},
    {"pci#ven_8086&dev_1230", kHdcClass, "intelide"},
    {"pci#ven_8086&dev_2411", kHdcClass, "intelide"},
    {"pci#ven_8086&dev_2421", kHdcClass, "intelide"},
    {"pci#ven_8086&dev_7010", kHdcClass, "intelide"},
    {"pci#ven_8086&dev_7111", kHdcClass, "intelide"},
    {"pci#ven_8086&dev_7199", kHdcClass, "intelide"},
};

struct DriverService {
  std::string_view key;
  std::uint32_t errorControl;
  std::string_view group;
  std::uint32_t start;
  std::uint32_t tag;
  std::uint32_t type;
  std::string_view displayName;  // empty: the service has none
  std::string_view imagePath;
};

constexpr DriverService kServices[] = {
    {"atapi", 1, "SCSI miniport", 0, 0x19, 1, "Standard IDE/ESDI Hard Disk Controller",
     "System32\\DRIVERS\\atapi.sys"},
    {"IntelIde", 1, "System Bus Extender", 0, 4, 1, "", "System32\\DRIVERS\\intelide.sys"},
    {"PCIIde", 1, "System Bus Extender", 0, 3, 1, "", "System32\\DRIVERS\\pciide.sys"},
};

std::string Dword(std::string_view name, std::uint32_t value) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", value);
  return "\"" + std::string(name) + "\"=dword:" + digits + "\n";
}

std::string String(std::string_view name, std::string_view value) {
  return "\"" + std::string(name) + "\"=\"" + std::string(value) + "\"\n";
}

// REG_EXPAND_SZ as the editor exports it: the UTF-16LE bytes with the closing NUL, in lines
// that end in a backslash and go on indented by two blanks.
std::string ExpandString(std::string_view name, std::string_view value) {
  std::vector<std::uint8_t> bytes;
  for (const char c : value) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), {0, 0});
  std::string text = "\"" + std::string(name) + "\"=hex(2):";
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    text += hex;
    if (i + 1 == bytes.size()) break;
    text += ',';
    if (text.size() - lineStart > 76) {
      text += "\\\n";
      lineStart = text.size();
      text += "  ";
    }
  }
  return text + "\n";
}

std::string RegistryFileText(int controlSet) {
  const std::string controlSetKey =
      "HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet00" + std::to_string(controlSet);
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (const auto& device : kCriticalDevices) {
    text += "[" + controlSetKey + "\\Control\\CriticalDeviceDatabase\\" +
            std::string(device.deviceId) + "]\n";
    text += String("ClassGUID", device.classGuid);
    text += String("Service", device.service);
    text += "\n";
  }
  for (const auto& service : kServices) {
    text += "[" + controlSetKey + "\\Services\\" + std::string(service.key) + "]\n";
    text += Dword("ErrorControl", service.errorControl);
    text += String("Group", service.group);
    text += Dword("Start", service.start);
    text += Dword("Tag", service.tag);
    text += Dword("Type", service.type);
    if (!service.displayName.empty()) text += String("DisplayName", service.displayName);
    text += ExpandString("ImagePath", service.imagePath);
    text += "\n";
  }
  return text;
}

// The text (ASCII only) as UTF-16LE with BOM and CR LF line ends.
std::string Utf16WithCrLf(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char c : text) {
    if (c == '\n') bytes.append("\r\0", 2);
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: ravlin-regfiles FOLDER\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  for (int controlSet = 1; controlSet <= 9; ++controlSet) {
    const auto file = folder / ("tarvel00" + std::to_string(controlSet) + ".reg");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << Utf16WithCrLf(RegistryFileText(controlSet));
    out.close();
    if (!out) {
      std::cerr << "ravlin-regfiles: cannot write " << file.string() << "\n";
      return 1;
    }
  }
  return 0;
}

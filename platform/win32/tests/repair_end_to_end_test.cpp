// The whole repair with the system's own registry and regedit.exe. Under Wine the guest hive is
// in Wine's text format (its RegLoadKey refuses a binary hive with 1017), and Wine never writes
// a loaded hive's changes back into the file, so the result is read through the registry at
// the moment the repair unloads the hive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "platform/codepage.hpp"
#include "tests/support/driver_files.hpp"
#include "tests/support/scripted_ui.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

constexpr char kGuestHive[] =
    "WINE REGISTRY Version 2\n"
    "\n"
    "[ControlSet001\\\\Control] 0\n"
    "[ControlSet001\\\\Services\\\\ftdisk] 0\n"
    "\"Start\"=dword:00000000\n"
    "[ControlSet001\\\\Services\\\\Tcpip] 0\n"
    "\"Start\"=dword:00000001\n"
    "[ControlSet002\\\\Control] 0\n"
    "[ControlSet002\\\\Services\\\\ftdisk] 0\n"
    "\"Start\"=dword:00000000\n"
    "[Select] 0\n"
    "\"Current\"=dword:00000001\n"
    "\"Default\"=dword:00000001\n"
    "\"LastKnownGood\"=dword:00000002\n";

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

// The system's registry, which reads the repaired keys just before the guest hive is unloaded.
class ReadBeforeUnload : public Registry {
 public:
  explicit ReadBeforeUnload(std::shared_ptr<Registry> system) : system_(std::move(system)) {}

  // "ControlSet001\...\pci#cc_0101\Service" -> its text, for every value read at the unload.
  std::map<std::string, std::string> seen;
  std::vector<std::string> wanted;

  std::int32_t RegOpenKeyExA(RegKey key, const std::string& subKey, std::uint32_t options,
                             std::uint32_t sam, RegKey& result) override {
    return system_->RegOpenKeyExA(key, subKey, options, sam, result);
  }
  std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, std::string& name,
                           std::uint32_t size) override {
    return system_->RegEnumKeyA(key, index, name, size);
  }
  std::int32_t RegQueryValueExA(RegKey key, const std::string& name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
    return system_->RegQueryValueExA(key, name, type, data, size);
  }
  std::int32_t RegQueryValueExW(RegKey key, const std::string& name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
    return system_->RegQueryValueExW(key, name, type, data, size);
  }
  std::int32_t RegCreateKeyExA(RegKey key, const std::string& subKey, const std::string& keyClass,
                               std::uint32_t options, std::uint32_t sam, RegKey& result,
                               std::uint32_t* disposition) override {
    return system_->RegCreateKeyExA(key, subKey, keyClass, options, sam, result, disposition);
  }
  std::int32_t RegSetValueExA(RegKey key, const std::string& name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override {
    return system_->RegSetValueExA(key, name, type, data, size);
  }
  std::int32_t RegSetValueExW(RegKey key, const std::string& name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override {
    return system_->RegSetValueExW(key, name, type, data, size);
  }
  std::int32_t RegDeleteValueA(RegKey key, const std::string& name) override {
    return system_->RegDeleteValueA(key, name);
  }
  std::int32_t RegDeleteTreeA(RegKey key, const std::string& subKey) override {
    return system_->RegDeleteTreeA(key, subKey);
  }
  std::int32_t RegFlushKey(RegKey key) override { return system_->RegFlushKey(key); }
  std::int32_t RegCloseKey(RegKey key) override { return system_->RegCloseKey(key); }
  std::int32_t RegLoadKeyA(RegKey key, const std::string& subKey,
                           const std::string& file) override {
    return system_->RegLoadKeyA(key, subKey, file);
  }
  std::int32_t RegUnLoadKeyA(RegKey key, const std::string& subKey) override {
    for (const std::string& value : wanted) ReadValue(subKey + "\\" + value);
    return system_->RegUnLoadKeyA(key, subKey);
  }
  std::int32_t DiscardLoadedKey(RegKey key, const std::string& subKey) override {
    return system_->DiscardLoadedKey(key, subKey);
  }
  std::unique_ptr<RegistryClaim> ClaimForRepair() override { return system_->ClaimForRepair(); }

 private:
  void ReadValue(const std::string& path) {
    const std::size_t split = path.rfind('\\');
    RegKey key = 0;
    if (system_->RegOpenKeyExA(kHkeyLocalMachine, path.substr(0, split), 0, kKeyQueryValue, key) !=
        kErrorSuccess)
      return;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const std::string name = path.substr(split + 1);
    if (system_->RegQueryValueExA(key, name, &type, nullptr, &size) == kErrorSuccess) {
      std::vector<std::uint8_t> data(size);
      if (system_->RegQueryValueExA(key, name, &type, data.data(), &size) == kErrorSuccess)
        seen[path.substr(path.find('\\') + 1)] =
            std::string(data.begin(), data.begin() + size).c_str();
    }
    system_->RegCloseKey(key);
  }

  std::shared_ptr<Registry> system_;
};

class RepairEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() / ("ravlin-repair-" + std::to_string(random()));
    windows_ = root_ / "WINDOWS";
    hive_ = windows_ / "system32" / "config" / "system";
    WriteAll(hive_, kGuestHive);
    // The guest lacks its drivers in system32\drivers; its protected-file cache has them.
    for (const std::string driver : {"atapi.sys", "intelide.sys", "pciide.sys", "pciidex.sys"})
      WriteAll(windows_ / "system32" / "dllcache" / driver, DriverImage("cached " + driver));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path root_, windows_, hive_;
};

TEST_F(RepairEndToEnd, TheSystemsRegistryAndRegeditRepairEveryControlSet) {
  auto ui = std::make_shared<ScriptedUi>();
  // The build's program folder, where Ravlin_Required_Files sits beside ravlin.exe (Wine
  // reaches the build's Linux path on drive Z:, the current drive).
  PlatformOptions options = PlatformOptions::FromEnvironment();
  options.programFolder = RAVLIN_BIN_DIR;
  Platform platform = MakePlatform(ui, options);
  auto registry = std::make_shared<ReadBeforeUnload>(platform.registry);
  for (const std::string set : {"ControlSet001", "ControlSet002"}) {
    const std::string devices = set + "\\Control\\CriticalDeviceDatabase\\";
    registry->wanted.push_back(devices + "pci#cc_0101\\Service");
    registry->wanted.push_back(devices + "primary_ide_channel\\Service");
    registry->wanted.push_back(set + "\\Services\\PCIIde\\ImagePath");
    registry->wanted.push_back(set + "\\Services\\Tcpip\\Start");
  }
  platform.registry = registry;
  const std::string untouched = ReadAll(hive_);

  Form1 form(platform, *ui);
  form.Load();
  ui->folderChoices.push_back(windows_);
  form.Browse_Click();

  ASSERT_FALSE(ui->boxes.empty());
  EXPECT_EQ(ui->boxes.back().text, "Operation completed successfully!  Click OK to exit.");
  for (const ShownBox& box : ui->boxes)
    EXPECT_NE(box.style & mb::kIconMask, mb::kCritical) << box.text;
  for (const std::string set : {"ControlSet001", "ControlSet002"}) {
    SCOPED_TRACE(set);
    const std::string devices = set + "\\Control\\CriticalDeviceDatabase\\";
    EXPECT_EQ(registry->seen[devices + "pci#cc_0101\\Service"], "pciide");
    EXPECT_EQ(registry->seen[devices + "primary_ide_channel\\Service"], "atapi");
    EXPECT_EQ(registry->seen[set + "\\Services\\PCIIde\\ImagePath"],
              "System32\\DRIVERS\\pciide.sys");
  }
  EXPECT_EQ(registry->seen["ControlSet001\\Services\\Tcpip\\Start"], "\x01") << "the rest is kept";

  for (const std::string driver : {"atapi.sys", "intelide.sys", "pciide.sys", "pciidex.sys"})
    EXPECT_EQ(ReadAll(windows_ / "system32" / "drivers" / driver), DriverImage("cached " + driver))
        << driver;
  EXPECT_EQ(ReadAll(windows_ / "system32" / "config" / "system.ravlin-backup"), untouched);
  RegKey mounted = 0;
  EXPECT_EQ(platform.registry->RegOpenKeyExA(kHkeyLocalMachine, std::string(kMountName), 0,
                                             kKeyQueryValue, mounted),
            kErrorFileNotFound)
      << "the guest hive is unloaded";
}

}  // namespace
}  // namespace ravlin

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/vendor_driver.hpp"
#include "platform/codepage.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/registry/posix_hive_reader.hpp"
#include "platform/registry.hpp"
#include "platform/text_bytes.hpp"
#include "tests/app/console_guest.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/sysfs_tree.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

constexpr char kStorageClass[] = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";

// The console on real files with a vendor's driver folder: the test INF and txtsetup.oem,
// and a PE stand-in for its .sys in the folder the INF's source disk names.
class VendorDriverConsole : public ConsoleGuest {
 protected:
  VendorDriverConsole() {
    AddDriverCabinets({"sp2.cab"});
    fs::create_directories(driver_);
    for (const char* name : {"ravstor.inf", "txtsetup.oem"})
      fs::copy_file(TestDataDir() / "drivers" / "ravstor" / name, driver_ / name);
    WriteFile(driver_ / "i386" / "ravstor.sys", image_);
    // A virtio block controller (1af4:1001) that only the vendor's driver starts.
    AddSysfsDevice(sysfs_, {"0000:00:05.0", {0x1af4, 0x1001, 0x1af4, 0x0002, 0x00, 0x010000}});
    environment_["RAVLIN_SYSFS"] = sysfs_.string();
  }

  std::optional<HiveValue> Value(const std::string& key, const std::string& name) {
    return reader_.ReadValue("C:\\WINDOWS\\system32\\config\\system", key, name);
  }
  std::string Text(const std::string& key, const std::string& name) {
    const auto value = Value(key, name);
    return value ? Utf16ToAnsi(Utf16StringFromLe(value->data)) : "<missing>";
  }
  std::uint32_t Dword(const std::string& key, const std::string& name) {
    const auto value = Value(key, name);
    return value && value->data.size() == 4 ? ReadLe32(value->data) : 0xDEADBEEF;
  }

  fs::path driver_ = temp_ / "vendor driver";
  fs::path sysfs_ = temp_ / "sysfs";
  std::string image_ = DriverImage("ravstor");
  PosixHiveReader reader_{std::make_shared<const DriveTable>("C=" + drive_.string())};
};

TEST_F(VendorDriverConsole, InstalledInEveryControlSetRecordedAndUndone) {
  const std::string untouched = ReadFile(hive_);
  const ProgramResult result = Repair({"--driver", driver_.string()});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;

  for (const std::string set : {"ControlSet001", "ControlSet002"}) {
    const std::string service = set + "\\Services\\ravstor";
    EXPECT_EQ(Dword(service, "Type"), 1u) << set;
    EXPECT_EQ(Dword(service, "Start"), 0u);
    EXPECT_EQ(Dword(service, "ErrorControl"), 1u);
    EXPECT_EQ(Text(service, "Group"), "SCSI Miniport");
    EXPECT_EQ(Value(service, "ImagePath")->type, kRegExpandSz);
    EXPECT_EQ(Text(service, "ImagePath"), "system32\\DRIVERS\\ravstor.sys");
    const auto order = Value(set + "\\Control\\GroupOrderList", "SCSI Miniport");
    ASSERT_TRUE(order) << set;
    EXPECT_TRUE(GroupOrderHasTag(order->data, Dword(service, "Tag")));
    EXPECT_EQ(Dword(service + "\\Parameters\\PnpInterface", "5"), 1u);
    EXPECT_EQ(Text(service + "\\Parameters\\Device", "DriverParameter"), "Queue=32;\"fast\"");
    EXPECT_EQ(Dword(set + "\\Services\\EventLog\\System\\ravstor", "TypesSupported"), 7u);
    // The INF's and txtsetup.oem's hardware IDs.
    for (const std::string id : {"pci#ven_8086&dev_2922&cc_0106", "pci#ven_1af4&dev_1001",
                                 "pci#ven_8086&dev_2829&cc_0106"}) {
      const std::string key = set + "\\Control\\CriticalDeviceDatabase\\" + id;
      EXPECT_EQ(Text(key, "Service"), "ravstor") << key;
      EXPECT_EQ(Text(key, "ClassGUID"), kStorageClass) << key;
    }
  }
  EXPECT_EQ(ReadFile(Driver("ravstor.sys")), image_);
  EXPECT_NE(result.out.find("(SCSI): driven by ravstor (system32\\DRIVERS\\ravstor.sys)"),
            std::string::npos)
      << result.out;
  const std::string record = ReadFile(windows_ / "ravlin.log");
  EXPECT_NE(record.find("Vendor driver key: HKLM\\SYSTEM\\ControlSet002\\Services\\ravstor: "
                        "Type, Start, ErrorControl, ImagePath, DisplayName, Group, Tag "),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("Vendor driver key: HKLM\\SYSTEM\\ControlSet001\\Control\\"
                        "CriticalDeviceDatabase\\pci#ven_1af4&dev_1001: Service, ClassGUID"),
            std::string::npos);
  EXPECT_NE(record.find("Driver ravstor.sys: copied from "), std::string::npos);
  EXPECT_NE(record.find(", SHA-256 "), std::string::npos);

  const ProgramResult restored = Ravlin({"--restore", windows_.string()});
  ASSERT_EQ(restored.exitCode, 0) << restored.out << restored.err;
  EXPECT_EQ(ReadFile(hive_), untouched);
  EXPECT_FALSE(fs::exists(Driver("ravstor.sys")));
  EXPECT_NE(restored.out.find("ravstor.sys: deleted"), std::string::npos) << restored.out;
}

TEST_F(VendorDriverConsole, TheDryRunShowsTheKeysAndTheFileAndChangesNothing) {
  const auto before = Snapshot(drive_);
  const ProgramResult result = Repair({"--driver", driver_.string(), "--dry-run"});
  EXPECT_TRUE(Snapshot(drive_) == before) << result.out;
  EXPECT_NE(result.out.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Services\\ravstor]"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("\"ImagePath\"=hex(2):"), std::string::npos);
  EXPECT_NE(result.out.find("ravstor.sys: would be copied from "), std::string::npos);
  EXPECT_NE(result.out.find("(SCSI): driven by ravstor"), std::string::npos);
}

TEST_F(VendorDriverConsole, ADriverThatCannotBeInstalledSafelyChangesNothing) {
  // Everything but the record, which tells why the attempt stopped (and the time of the
  // folder it is in).
  const auto guestFiles = [&] {
    auto entries = Snapshot(drive_);
    entries.erase((windows_ / "ravlin.log").string());
    entries.erase(windows_.string());
    return entries;
  };
  const auto refused = [&](const std::string& why) {
    const auto before = guestFiles();
    const ProgramResult result = Repair({"--driver", driver_.string()});
    EXPECT_EQ(result.exitCode, 1) << why << result.out;
    EXPECT_NE(result.out.find("cannot be installed:  "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(why), std::string::npos) << result.out;
    EXPECT_TRUE(guestFiles() == before) << why;
  };
  std::string inf = ReadFile(driver_ / "ravstor.inf");
  WriteFile(driver_ / "ravstor.inf",
            std::string(inf).replace(inf.find("StartType      = 0"), 18, "StartType      = 3"));
  refused("starts at boot");
  WriteFile(driver_ / "ravstor.inf", inf);

  WriteFile(driver_ / "i386" / "ravstor.sys", DriverImage("ravstor", false));
  refused("is no driver image");
  std::string amd64 = image_;
  amd64[0x44] = '\x64';
  amd64[0x45] = '\x86';
  WriteFile(driver_ / "i386" / "ravstor.sys", amd64);
  refused("another processor");
  fs::remove(driver_ / "i386" / "ravstor.sys");
  refused("is not in the folder");

  WriteFile(driver_ / "i386" / "ravstor.sys", image_);
  WriteFile(Driver("ravstor.sys"), "the guest's own file");
  refused("already has a different system32\\DRIVERS\\ravstor.sys");
  fs::remove(Driver("ravstor.sys"));
  WriteFile(driver_ / "other.inf", inf);
  fs::remove(driver_ / "txtsetup.oem");
  refused("several INF files");
}

}  // namespace
}  // namespace ravlin

#include "app/board_judgement.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/registry/posix_hive_reader.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

constexpr char kIdeClass[] = "{4D36E96A-E325-11CE-BFC1-08002BE10318}";
const PciController kPiix4{0x8086, 0x7111, 0x1af4, 0x1100, 0x01, 0x010180};
const PciController kIch9Ahci{0x8086, 0x2922, 0x1043, 0x82d4, 0x02, 0x010601};

TestKey CriticalDevice(const std::string& controlSet, const std::string& id,
                       const std::string& service) {
  return {controlSet + "\\Control\\CriticalDeviceDatabase\\" + id,
          {SzValue("ClassGUID", kIdeClass), SzValue("Service", service)}};
}

TestKey Service(const std::string& controlSet, const std::string& name, std::uint32_t start,
                const std::string& imagePath) {
  TestKey key{controlSet + "\\Services\\" + name, {DwordValue("Start", start)}};
  if (!imagePath.empty()) key.values.push_back(SzValue("ImagePath", imagePath, kHiveExpandSz));
  return key;
}

TEST(PciDeviceIds, FormedAsWindowsFormsThemForAPciDevice) {
  EXPECT_EQ(PciDeviceIds(kIch9Ahci),
            (std::vector<std::string>{
                "PCI\\VEN_8086&DEV_2922&SUBSYS_82D41043&REV_02",
                "PCI\\VEN_8086&DEV_2922&SUBSYS_82D41043", "PCI\\VEN_8086&DEV_2922&REV_02",
                "PCI\\VEN_8086&DEV_2922", "PCI\\VEN_8086&DEV_2922&CC_010601",
                "PCI\\VEN_8086&DEV_2922&CC_0106", "PCI\\VEN_8086&CC_010601",
                "PCI\\VEN_8086&CC_0106", "PCI\\VEN_8086", "PCI\\CC_010601", "PCI\\CC_0106"}));

  const std::pair<std::uint32_t, std::string_view> kinds[] = {
      {0x010180, "IDE"},   {0x01018a, "IDE"},  {0x010601, "SATA AHCI"}, {0x010600, "other"},
      {0x010400, "RAID"},  {0x010000, "SCSI"}, {0x010700, "SCSI"},      {0x010802, "NVMe"},
      {0x018000, "other"}, {0x030000, "other"}};
  for (const auto& [classCode, kind] : kinds) {
    PciController controller = kPiix4;
    controller.classCode = classCode;
    EXPECT_EQ(ControllerKind(controller), kind) << std::hex << classCode;
  }
}

class BoardJudgement : public ::testing::Test {
 protected:
  std::vector<ControllerVerdict> Judge(const std::vector<TestKey>& keys,
                                       const std::vector<PciController>& controllers) {
    fs::create_directories(hive_.parent_path());
    MakeTestHive(hive_, keys);
    return JudgeControllers(reader_, "C:\\WINDOWS\\system32\\config\\system", controllers,
                            Present());
  }
  // The files in `present_`, named with / for each backslash.
  GuestFileCheck Present() {
    return [this](const std::string& image) {
      std::string posix = image;
      std::replace(posix.begin(), posix.end(), '\\', '/');
      return present_.contains(posix);
    };
  }

  TempDir temp_;
  fs::path hive_ = temp_ / "WINDOWS" / "system32" / "config" / "system";
  PosixHiveReader reader_{std::make_shared<const DriveTable>("C=" + temp_.path().string())};
  std::set<std::string> present_{"system32/DRIVERS/intelide.sys", "system32/DRIVERS/pciide.sys"};
};

TEST_F(BoardJudgement, TheBootControlSetsDatabaseNamesTheBootDriver) {
  // ControlSet002 boots; ControlSet001 would drive the AHCI controller but is not used.
  const std::vector<TestKey> keys = {
      {"Select", {DwordValue("Current", 2)}},
      CriticalDevice("ControlSet001", "pci#ven_8086&dev_2922", "intelide"),
      Service("ControlSet001", "IntelIde", 0, "System32\\DRIVERS\\intelide.sys"),
      CriticalDevice("ControlSet002", "pci#ven_8086&dev_7111", "intelide"),
      Service("ControlSet002", "IntelIde", 0, "System32\\DRIVERS\\intelide.sys")};
  const auto verdicts = Judge(keys, {kPiix4, kIch9Ahci});

  ASSERT_EQ(verdicts.size(), 2u);
  EXPECT_EQ(verdicts[0].line,
            "Controller PCI\\VEN_8086&DEV_7111&SUBSYS_11001AF4&REV_01 (IDE): driven by intelide "
            "(system32\\DRIVERS\\intelide.sys)");
  EXPECT_EQ(verdicts[0].service, "intelide");
  EXPECT_EQ(verdicts[1].line,
            "Controller PCI\\VEN_8086&DEV_2922&SUBSYS_82D41043&REV_02 (SATA AHCI): no boot "
            "driver in the guest");
  EXPECT_EQ(verdicts[1].service, "");
}

TEST_F(BoardJudgement, TheFirstEntryFoundMustStartAtBootFromAFileInTheGuest) {
  const std::string cs = "ControlSet001";
  const auto judgeIde = [&](std::vector<TestKey> keys) {
    keys.insert(keys.begin(), {"Select", {DwordValue("Current", 1)}});
    keys.push_back(CriticalDevice(cs, "PCI#CC_0101", "pciide"));
    keys.push_back(Service(cs, "PCIIde", 0, "\\SystemRoot\\system32\\drivers\\pciide.sys"));
    return Judge(keys, {kPiix4}).front();
  };

  // The class-code entry alone drives it, its \SystemRoot path read from the Windows folder.
  const ControllerVerdict byClass = judgeIde({});
  EXPECT_EQ(byClass.service, "pciide");
  EXPECT_EQ(byClass.imagePath, "system32\\DRIVERS\\pciide.sys");
  // A more specific entry comes first, even when its service does not start at boot.
  EXPECT_EQ(judgeIde({CriticalDevice(cs, "pci#ven_8086&dev_7111&rev_01", "intelide"),
                      Service(cs, "intelide", 3, "")})
                .service,
            "");
  // Without ImagePath the file is system32\DRIVERS\<service>.sys.
  EXPECT_EQ(judgeIde({CriticalDevice(cs, "pci#ven_8086&dev_7111&rev_01", "intelide"),
                      Service(cs, "intelide", 0, "")})
                .imagePath,
            "system32\\DRIVERS\\intelide.sys");
  // A boot service whose file the guest lacks drives nothing.
  present_.clear();
  EXPECT_EQ(judgeIde({}).line,
            "Controller PCI\\VEN_8086&DEV_7111&SUBSYS_11001AF4&REV_01 (IDE): no boot driver in "
            "the guest");
  // A service the database names but the hive lacks drives nothing either.
  present_.insert("system32/DRIVERS/pciide.sys");
  EXPECT_EQ(
      Judge({{"Select", {DwordValue("Current", 1)}}, CriticalDevice(cs, "pci#cc_0101", "pciide")},
            {kPiix4})
          .front()
          .service,
      "");
}

// A real hive, its database thousands of keys: Windows 7 booted from an IDE controller, its
// AHCI driver installed but not started at boot.
TEST_F(BoardJudgement, ARealHivesDatabaseIsReadAsWindowsReadsIt) {
  DecompressTestHive("win7-system", hive_);
  present_ = {"system32/DRIVERS/intelide.sys", "system32/DRIVERS/msahci.sys"};
  const auto verdicts = JudgeControllers(reader_, "C:\\WINDOWS\\system32\\config\\system",
                                         {kPiix4, kIch9Ahci}, Present());
  ASSERT_EQ(verdicts.size(), 2u);
  EXPECT_EQ(verdicts[0].service, "intelide");
  EXPECT_EQ(verdicts[0].imagePath, "system32\\DRIVERS\\intelide.sys");
  EXPECT_EQ(verdicts[1].service, "") << "msahci is found by PCI\\CC_010601 but starts on demand";
}

}  // namespace
}  // namespace ravlin

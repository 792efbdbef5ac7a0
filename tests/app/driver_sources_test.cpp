#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "platform/posix/registry/posix_registry_mounts.hpp"
#include "tests/support/driver_files.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using testing::DriverImage;
using testing::kIdeDrivers;
using testing::MakeCabinet;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::ScriptedUi;
using testing::TempDir;
using testing::WriteFile;

const std::string kSuccess = "Operation completed successfully!  Click OK to exit.";
const std::string kCopyFailed = "Critical Error copying file.  Check paths and permissions.";

// Every driver in one cabinet, each tagged with the cabinet's name.
std::map<std::string, std::string> AllDrivers(const std::string& tag) {
  std::map<std::string, std::string> files;
  for (const auto& driver : kIdeDrivers) files[driver] = DriverImage(tag + " " + driver);
  return files;
}

// The driver stage when the required-files folder has no driver: a guest C:\WINDOWS (XP's
// own name casing) with a hive without control sets, so that no import runs, and the
// guest's own copies of the drivers in the places Windows keeps them.
class DriverSourcesTest : public ::testing::Test {
 protected:
  DriverSourcesTest() {
    options_.drives = "C=" + drive_.string() + ";D=" + (temp_ / "cd").string();
    options_.registryStore = temp_ / "store";
    options_.programFolder = temp_ / "program";
    fs::create_directories(options_.programFolder / "Ravlin_Required_Files");
    fs::create_directories(hive_.parent_path());
    testing::MakeTestHive(hive_, {{"Select", {testing::DwordValue("Current", 1)}}});
  }

  void Press(const std::string& installationSource = "") {
    form_ = std::make_unique<Form1>(MakePlatform(ui_, options_), *ui_);
    form_->Load();
    if (!installationSource.empty()) form_->SetInstallationSource(installationSource);
    ui_->folderChoices.push_back(windows_);
    form_->Browse_Click();
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui_->boxes) texts.push_back(box.text);
    return texts;
  }
  std::string Installed(const std::string& driver) const {
    return ReadFile(windows_ / "system32" / "drivers" / driver);
  }

  TempDir temp_;
  fs::path drive_ = temp_ / "c";
  fs::path windows_ = drive_ / "WINDOWS";
  fs::path hive_ = windows_ / "system32" / "config" / "system";
  fs::path cabinets_ = windows_ / "Driver Cache" / "i386";
  ScopedEnv windir_{"windir", std::nullopt};
  ScopedEnv store_{"RAVLIN_REGISTRY", (temp_ / "store").string()};
  PlatformOptions options_;
  std::shared_ptr<ScriptedUi> ui_ = std::make_shared<ScriptedUi>();
  std::unique_ptr<Form1> form_;
};

TEST_F(DriverSourcesTest, TheNewestServicePackCabinetIsTaken) {
  MakeCabinet(cabinets_ / "driver.cab", AllDrivers("release"));
  MakeCabinet(cabinets_ / "sp1.cab", AllDrivers("sp1"));
  MakeCabinet(cabinets_ / "SP2.CAB", AllDrivers("sp2"));
  Press();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  for (const auto& driver : kIdeDrivers) EXPECT_EQ(Installed(driver), DriverImage("sp2 " + driver));
}

TEST_F(DriverSourcesTest, EachSourceInTurnAndUnusableCopiesAreSkippedWithARecord) {
  WriteFile(windows_ / "ServicePackFiles" / "i386" / "ATAPI.SYS", DriverImage("spfiles"));
  WriteFile(cabinets_ / "sp3.cab", "a damaged cabinet");
  MakeCabinet(cabinets_ / "sp2.cab", {{"intelide.sys", DriverImage("program", false)}});
  MakeCabinet(cabinets_ / "sp1.cab", {{"intelide.sys", DriverImage("sp1")}});
  WriteFile(windows_ / "system32" / "dllcache" / "PCIIDE.SYS", DriverImage("dllcache"));
  MakeCabinet(temp_ / "cd" / "I386" / "PCIIDEX.SY_", {{"pciidex.sys", DriverImage("cd")}});
  Press((temp_ / "cd" / "i386").string());

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(Installed("atapi.sys"), DriverImage("spfiles"));
  EXPECT_EQ(Installed("intelide.sys"), DriverImage("sp1"));
  EXPECT_EQ(Installed("pciide.sys"), DriverImage("dllcache"));
  EXPECT_EQ(Installed("pciidex.sys"), DriverImage("cd"));
  // The damaged cabinet is named once for each file it was asked for; the program only once.
  const auto& lines = form_->Record().Lines();
  const auto count = [&lines](const std::string& part) {
    return std::count_if(lines.begin(), lines.end(), [&part](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  };
  EXPECT_EQ(count("sp3.cab ("), 3) << ::testing::PrintToString(lines);
  EXPECT_EQ(count("intelide.sys: skipped C:\\WINDOWS\\Driver Cache\\i386\\sp2.cab (not a driver "
                  "image)"),
            1)
      << ::testing::PrintToString(lines);
}

TEST_F(DriverSourcesTest, TheRequiredFilesFolderComesFirst) {
  WriteFile(options_.programFolder / "Ravlin_Required_Files" / "atapi.sys", "shipped atapi.sys");
  MakeCabinet(cabinets_ / "sp2.cab", AllDrivers("sp2"));
  Press();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(Installed("atapi.sys"), "shipped atapi.sys");
  EXPECT_EQ(Installed("pciidex.sys"), DriverImage("sp2 pciidex.sys"));
}

TEST_F(DriverSourcesTest, WithoutAnyUsableCopyTheMissingFilePathRuns) {
  WriteFile(windows_ / "system32" / "dllcache" / "atapi.sys", "not a driver");
  WriteFile(cabinets_ / "driver.cab", "damaged");
  Press();

  ASSERT_EQ(ui_->boxes.size(), 8u) << ::testing::PrintToString(BoxTexts());
  for (std::size_t i = 1; i < 8; i += 2) EXPECT_EQ(ui_->boxes[i].text, kCopyFailed);
  EXPECT_NE(ui_->boxes[0].text.find("Ravlin_Required_Files\\atapi.sys"), std::string::npos);
  EXPECT_FALSE(fs::exists(windows_ / "system32" / "drivers" / "atapi.sys"));
  EXPECT_TRUE(MountTable(temp_ / "store").Read().empty()) << "the stopped attempt's mount stays";
}

}  // namespace
}  // namespace ravlin

#include "app/guest_windows.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "platform/posix/registry/posix_hive_reader.hpp"
#include "platform/posix/registry/posix_registry_mounts.hpp"
#include "tests/app/console_guest.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/scripted_ui.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;
using Family = GuestWindows::Family;

void MakeSoftwareHive(const fs::path& windows, const std::string& version) {
  fs::create_directories(windows / "system32" / "config");
  MakeTestHive(windows / "system32" / "config" / "software",
               {{"Microsoft\\Windows NT\\CurrentVersion",
                 {SzValue("CurrentVersion", version), SzValue("ProductName", "Test Windows")}}});
}

class GuestWindowsTest : public ::testing::Test {
 protected:
  GuestWindows Identify() { return IdentifyGuestWindows(reader_, "C:\\WINDOWS"); }

  TempDir temp_;
  fs::path windows_ = temp_ / "WINDOWS";
  fs::path system_ = windows_ / "system32" / "config" / "system";
  PosixHiveReader reader_{std::make_shared<const DriveTable>("C=" + temp_.path().string())};
};

TEST_F(GuestWindowsTest, TheSoftwareHiveTellsTheVersion) {
  for (const std::string version : {"5.0", "5.1", "5.2"}) {
    MakeSoftwareHive(windows_, version);
    EXPECT_EQ(Identify().family, Family::kNt5) << version;
    fs::remove(windows_ / "system32" / "config" / "software");
  }
  MakeSoftwareHive(windows_, "6.1");
  const GuestWindows later = Identify();
  EXPECT_EQ(later.family, Family::kOther);
  EXPECT_EQ(later.description, "Test Windows (version 6.1, from the SOFTWARE hive)");
}

TEST_F(GuestWindowsTest, WithoutASoftwareHiveTheSystemHiveVolumeDriverTells) {
  DecompressTestHive("win7-system", system_);
  EXPECT_EQ(Identify().family, Family::kOther);
  DecompressTestHive("win10-system-dirty", system_);
  EXPECT_EQ(Identify().family, Family::kOther);

  // The current control set decides, not ControlSet001.
  MakeTestHive(system_, {{"Select", {DwordValue("Current", 2)}},
                         {"ControlSet001\\Services\\volmgr", {}},
                         {"ControlSet002\\Services\\ftdisk", {}}});
  EXPECT_EQ(Identify().family, Family::kNt5);
  // An unreadable SOFTWARE hive is passed over.
  WriteFile(windows_ / "system32" / "config" / "software", "damaged");
  EXPECT_EQ(Identify().family, Family::kNt5);
  MakeTestHive(system_, {{"Select", {DwordValue("Current", 1)}}});
  EXPECT_EQ(Identify().family, Family::kUnknown);
}

// The warning in the window: answered No, nothing is changed and the record says why.
TEST(GuestWindowsPress, ALaterWindowsIsRepairedOnlyWhenTheUserSaysYes) {
  TempDir temp;
  const fs::path windows = temp / "c" / "WINDOWS";
  const fs::path hive = windows / "system32" / "config" / "system";
  DecompressTestHive("win7-system", hive);
  const std::string untouched = ReadFile(hive);
  ScopedEnv windir("windir", std::nullopt);
  PlatformOptions options;
  options.drives = "C=" + (temp / "c").string();
  options.registryStore = temp / "store";
  options.programFolder = temp / "program";
  auto ui = std::make_shared<ScriptedUi>();
  Form1 form(MakePlatform(ui, options), *ui);
  form.Load();
  ui->folderChoices.push_back(windows);
  ui->boxAnswers.push_back(mb::kIdNo);
  form.Browse_Click();

  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].style, mb::kYesNo | mb::kExclamation | mb::kDefaultButton2);
  EXPECT_NE(ui->boxes[0].text.find("Windows Vista or later"), std::string::npos);
  EXPECT_NE(ui->boxes[0].text.find("Continue anyway?"), std::string::npos);
  EXPECT_TRUE(MountTable(temp / "store").Read().empty());
  EXPECT_EQ(ReadFile(hive), untouched);
  const std::string record = ReadFile(windows / "ravlin.log");
  EXPECT_NE(record.find("End: aborted during \"the Windows version check\""), std::string::npos)
      << record;
  EXPECT_EQ(form.Text(ControlId::Text1), "<Select a valid Windows directory>");
}

using GuestWindowsConsole = ConsoleGuest;

TEST_F(GuestWindowsConsole, YesLeavesTheWarningUnansweredAndForceAnswersIt) {
  AddDriverCabinets({"sp2.cab"});
  MakeSoftwareHive(windows_, "6.0");
  const std::string untouched = ReadFile(hive_);

  const ProgramResult declined = Repair();
  EXPECT_EQ(declined.exitCode, 1) << declined.out;
  EXPECT_NE(declined.out.find("(--yes does not answer this question; --force does)\n> No"),
            std::string::npos)
      << declined.out;
  EXPECT_EQ(ReadFile(hive_), untouched);
  EXPECT_FALSE(fs::exists(Driver("atapi.sys")));

  const ProgramResult forced = Ravlin({"--guest", windows_.string(), "--force"});
  EXPECT_EQ(forced.exitCode, 0) << forced.out;
  EXPECT_TRUE(fs::exists(Driver("atapi.sys")));
  EXPECT_NE(ReadFile(windows_ / "ravlin.log").find("Windows: Test Windows (version 6.0"),
            std::string::npos);
}

}  // namespace
}  // namespace ravlin

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/backend.hpp"
#include "system/modLoadReg.hpp"
#include "tests/app/console_guest.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/scripted_ui.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

class RestoreConsole : public ConsoleGuest {
 protected:
  ProgramResult Restore() { return Ravlin({"--restore", windows_.string()}); }

  void Repaired() {
    AddDriverCabinets({"sp2.cab"});
    untouched_ = ReadFile(hive_);
    const ProgramResult repair = Repair();
    ASSERT_EQ(repair.exitCode, 0) << repair.out;
    repaired_ = ReadFile(hive_);
    ASSERT_NE(repaired_, untouched_);
  }

  // An undo refused with `reason`, the guest left exactly as it was.
  void ExpectRefused(const std::string& reason) {
    const auto before = Snapshot(windows_);
    const ProgramResult refused = Restore();
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("ravlin: nothing was changed. " + reason), std::string::npos)
        << refused.out;
    EXPECT_EQ(Snapshot(windows_), before);
  }

  std::string untouched_;
  std::string repaired_;
};

TEST_F(RestoreConsole, PutsTheBackupBackAndDeletesOnlyUnchangedCopiedDrivers) {
  Repaired();
  // A driver the technician replaced after the repair is not the repair's to delete.
  WriteFile(Driver("pciide.sys"), DriverImage("a newer pciide.sys"));
  const ProgramResult restored = Restore();

  ASSERT_EQ(restored.exitCode, 0) << restored.out;
  EXPECT_EQ(ReadFile(hive_), untouched_);
  EXPECT_EQ(ReadFile(hive_.string() + ".ravlin-repaired"), repaired_);
  EXPECT_FALSE(fs::exists(hive_.string() + ".ravlin-backup"));
  for (const std::string driver : {"atapi.sys", "intelide.sys", "pciidex.sys"})
    EXPECT_FALSE(fs::exists(Driver(driver))) << driver;
  EXPECT_EQ(ReadFile(Driver("pciide.sys")), DriverImage("a newer pciide.sys"));
  EXPECT_NE(restored.out.find("pciide.sys: kept: it changed since the repair copied it"),
            std::string::npos)
      << restored.out;
  const std::string record = ReadFile(windows_ / "ravlin.log");
  EXPECT_NE(record.find("==== Ravlin restore ====\r\n"), std::string::npos);
  EXPECT_NE(record.find("Driver atapi.sys: deleted\r\n"), std::string::npos) << record;
  EXPECT_TRUE(record.ends_with("End: restored\r\n\r\n"));

  // The backup is used up: a second undo has nothing to put back.
  ExpectRefused("There is no backup of the guest hive");
}

TEST_F(RestoreConsole, RefusedWithoutABackupOrARecord) {
  ExpectRefused("There is no backup of the guest hive: C:\\WINDOWS\\system32\\config\\system");
  Repaired();
  fs::rename(windows_ / "ravlin.log", temp_ / "elsewhere.log");
  ExpectRefused("There is no record of a repair: C:\\WINDOWS\\ravlin.log");
}

TEST_F(RestoreConsole, RefusedWhenTheHiveChangedSinceTheRepair) {
  Repaired();
  // Windows started: its hive is no longer the one the repair left.
  MakeTestHive(hive_, {{"Select", {DwordValue("Current", 1)}}});
  ExpectRefused("The guest hive changed since the repair");
}

TEST_F(RestoreConsole, RefusedWhileAHiveIsMounted) {
  Repaired();
  PlatformOptions options;
  options.drives = "C=" + drive_.string();
  options.registryStore = temp_ / "registry";
  ScriptedUi quiet;
  Platform platform = MakePlatform(std::shared_ptr<Ui>(&quiet, [](Ui*) {}), options);
  modLoadReg(platform, "Ravlin").EnablePrivileges();
  MakeTestHive(temp_ / "xp" / "other", {});
  ASSERT_EQ(platform.registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", "C:\\other"), 0);

  ExpectRefused("A hive is mounted as HKLM\\Ravlin_System");
  EXPECT_EQ(platform.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 0);
}

}  // namespace
}  // namespace ravlin

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <map>
#include <string>

#include "platform/backend.hpp"
#include "platform/sha256.hpp"
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

  // Lines added to the end of the record, as if an earlier repair had written them.
  void AppendToRecord(const std::string& lines) {
    WriteFile(windows_ / "ravlin.log", ReadFile(windows_ / "ravlin.log") + lines);
  }

  void ExpectUndone(const ProgramResult& restored) {
    ASSERT_EQ(restored.exitCode, 0) << restored.out;
    EXPECT_EQ(ReadFile(hive_), untouched_);
    EXPECT_EQ(ReadFile(repairedHive_), repaired_);
    EXPECT_FALSE(fs::exists(backup_));
    for (const auto& driver : kIdeDrivers) EXPECT_FALSE(fs::exists(Driver(driver))) << driver;
    EXPECT_TRUE(ReadFile(windows_ / "ravlin.log").ends_with("End: restored\r\n\r\n"));
  }

  std::string untouched_;
  std::string repaired_;
  fs::path backup_ = hive_.string() + ".ravlin-backup";
  fs::path repairedHive_ = hive_.string() + ".ravlin-repaired";
  fs::path host_ = temp_ / "host";
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

TEST_F(RestoreConsole, DeletesOnlyTheRepairsOwnDriverFilesInTheGuestsDriversFolder) {
  Repaired();
  const std::string kernel = DriverImage("the guest's kernel");
  WriteFile(windows_ / "system32" / "ntoskrnl.exe", kernel);
  // A driver name that a link turns into a host file, with the host file's digest recorded.
  const std::string hostFile = DriverImage("a file of the host");
  WriteFile(host_ / "secret.sys", hostFile);
  fs::remove(Driver("atapi.sys"));
  fs::create_symlink(host_ / "secret.sys", Driver("atapi.sys"));
  AppendToRecord("Driver ..\\ntoskrnl.exe: copied from X, SHA-256 " + Sha256Hex(kernel) +
                 "\r\nDriver atapi.sys\\..\\..\\ntoskrnl.exe: copied from X, SHA-256 " +
                 Sha256Hex(kernel) + "\r\nDriver atapi.sys: copied from X, SHA-256 " +
                 Sha256Hex(hostFile) + "\r\n");

  const ProgramResult restored = Restore();
  ASSERT_EQ(restored.exitCode, 0) << restored.out;
  EXPECT_EQ(ReadFile(hive_), untouched_);
  EXPECT_EQ(ReadFile(windows_ / "system32" / "ntoskrnl.exe"), kernel);
  EXPECT_EQ(ReadFile(host_ / "secret.sys"), hostFile);
  EXPECT_TRUE(fs::is_symlink(Driver("atapi.sys")));
  for (const std::string driver : {"intelide.sys", "pciide.sys", "pciidex.sys"})
    EXPECT_FALSE(fs::exists(Driver(driver))) << driver;
  EXPECT_NE(restored.out.find("Ignored record line (it names no driver the repair copies): "
                              "Driver ..\\ntoskrnl.exe"),
            std::string::npos)
      << restored.out;
  const std::string record = ReadFile(windows_ / "ravlin.log");
  EXPECT_NE(record.find("Ignored record line: Driver atapi.sys\\..\\..\\ntoskrnl.exe"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("Driver atapi.sys: kept: it is a link, not a file the repair copied"),
            std::string::npos)
      << record;
}

TEST_F(RestoreConsole, RefusedWhenItWouldReachOutOfTheGuestOrTheBackupIsNoFile) {
  Repaired();
  // The config folder replaced by a link to a folder of the host.
  const fs::path config = hive_.parent_path();
  fs::rename(config, host_);
  fs::create_symlink(host_, config);
  const auto hostBefore = Snapshot(host_);
  ExpectRefused("The guest's files cannot be read beneath C:\\WINDOWS");
  EXPECT_EQ(Snapshot(host_), hostBefore);
  fs::remove(config);
  fs::rename(host_, config);

  // A backup that is a link to a host file, then one that is a folder.
  fs::rename(backup_, temp_ / "backup");
  WriteFile(temp_ / "host-hive", untouched_);
  fs::create_symlink(temp_ / "host-hive", backup_);
  ExpectRefused("The backup " + std::string("C:\\WINDOWS\\system32\\config\\system") +
                ".ravlin-backup is a link, not a regular file.");
  EXPECT_TRUE(fs::is_symlink(backup_));
  fs::remove(backup_);
  fs::create_directory(backup_);
  ExpectRefused("The backup C:\\WINDOWS\\system32\\config\\system.ravlin-backup is a folder");
  fs::remove(backup_);

  // With its own backup back in place the undo runs.
  fs::rename(temp_ / "backup", backup_);
  ExpectUndone(Restore());
  EXPECT_EQ(ReadFile(temp_ / "host-hive"), untouched_);
}

TEST_F(RestoreConsole, ARecordTooLargeOrNoFileIsRefusedWithNothingChanged) {
  Repaired();
  // 40 GB of nothing after the repair's lines: read from its end, a piece at a time.
  fs::resize_file(windows_ / "ravlin.log", std::uintmax_t{40} << 30);
  const ProgramResult refused = Restore();
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("ravlin: nothing was changed. The record cannot be read: it holds "
                             "more than 64 MiB since its last undo"),
            std::string::npos)
      << refused.out << refused.err;
  EXPECT_EQ(ReadFile(hive_), repaired_);
  EXPECT_EQ(ReadFile(backup_), untouched_);
  for (const auto& driver : kIdeDrivers) EXPECT_TRUE(fs::exists(Driver(driver))) << driver;
  fs::remove(windows_ / "ravlin.log");
  ASSERT_EQ(::mkfifo((windows_ / "ravlin.log").c_str(), 0600), 0);
  ExpectRefused("The record C:\\WINDOWS\\ravlin.log is a device, pipe or socket");
}

TEST_F(RestoreConsole, AnUndoStoppedAtAnyStepIsFinishedByRunningItAgain) {
  Repaired();
  // Stopped after keeping the repaired hive, before the backup took its place.
  fs::create_hard_link(hive_, repairedHive_);
  ExpectUndone(Restore());

  // Stopped after the backup took the hive's place, before any driver was deleted; one driver
  // was recorded but never took its name.
  fs::remove(repairedHive_);
  Repaired();
  fs::rename(hive_, repairedHive_);
  fs::rename(backup_, hive_);
  fs::remove(Driver("pciide.sys"));
  const ProgramResult finished = Restore();
  ExpectUndone(finished);
  EXPECT_NE(finished.out.find("pciide.sys: already gone"), std::string::npos) << finished.out;

  // Nothing left to finish.
  ExpectRefused("There is no backup of the guest hive");
}

}  // namespace
}  // namespace ravlin

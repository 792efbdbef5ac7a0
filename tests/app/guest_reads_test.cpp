#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/backend.hpp"
#include "system/modLoadReg.hpp"
#include "tests/app/console_guest.hpp"
#include "tests/support/error_number.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/scripted_ui.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

// What the repair reads from a guest that holds pipes, links out of it and odd entries where
// files belong.
class GuestReadsConsole : public ConsoleGuest {
 protected:
  // The program's own services on the same guest, for what the console does not show.
  Platform Services() {
    PlatformOptions options;
    options.drives = "C=" + drive_.string();
    options.registryStore = temp_ / "registry";
    return MakePlatform(std::shared_ptr<Ui>(&quiet_, [](Ui*) {}), options);
  }

  ScriptedUi quiet_;
  fs::path backup_ = hive_.string() + ".ravlin-backup";
};

TEST_F(GuestReadsConsole, APipeInPlaceOfAHiveEndsTheRunInsteadOfHangingIt) {
  AddDriverCabinets({"sp2.cab"});
  const fs::path software = hive_.parent_path() / "software";
  ASSERT_EQ(::mkfifo(software.c_str(), 0600), 0);
  const ProgramResult withSoftwarePipe = Repair();
  EXPECT_FALSE(withSoftwarePipe.timedOut);
  EXPECT_EQ(withSoftwarePipe.exitCode, 0) << withSoftwarePipe.out;
  EXPECT_TRUE(fs::is_fifo(software));

  fs::remove(hive_);
  ASSERT_EQ(::mkfifo(hive_.c_str(), 0600), 0);
  const ProgramResult withSystemPipe = Repair();
  EXPECT_FALSE(withSystemPipe.timedOut);
  EXPECT_EQ(withSystemPipe.exitCode, 1) << withSystemPipe.out;
  EXPECT_TRUE(fs::is_fifo(hive_));
}

TEST_F(GuestReadsConsole, EveryReaderRefusesAPipeWithoutWaitingForAWriter) {
  Platform platform = Services();
  const fs::path pipe = windows_ / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string path = "C:\\WINDOWS\\pipe";
  platform.files->ConfineChangesBeneath("C:\\WINDOWS");

  EXPECT_EQ(platform.files->KindOfEntry(path), PathKind::kOther);
  EXPECT_EQ(ErrorNumberOf([&] { platform.files->ReadAllText(path); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { platform.files->ReadFilePart(path, 0, 16); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { platform.files->GetFileVersion(path); }), 75);
  EXPECT_FALSE(platform.hiveReader->KeyExists(path, ""));
  EXPECT_EQ(platform.cabinets->ReadMember(path, "atapi.sys").outcome,
            CabinetRead::Outcome::kDamaged);
  EXPECT_EQ(platform.cabinets->ExpandFile(path).outcome, CabinetRead::Outcome::kDamaged);
  EXPECT_TRUE(fs::is_fifo(pipe));
}

TEST_F(GuestReadsConsole, ABackupNameHeldByNoRegularFileStopsTheRepairBeforeAnyChange) {
  AddDriverCabinets({"sp2.cab"});
  const std::string untouched = ReadFile(hive_);
  WriteFile(temp_ / "host-file", "a file of the host");
  const auto expectStopped = [&](const std::string& kind) {
    const ProgramResult stopped = Repair();
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_NE(
        stopped.out.find("The backup of the guest hive is " + kind + ", not a copy of the hive:"),
        std::string::npos)
        << stopped.out;
    EXPECT_EQ(ReadFile(hive_), untouched);
    EXPECT_FALSE(fs::exists(Driver("atapi.sys")));
  };
  fs::create_symlink(temp_ / "host-file", backup_);
  expectStopped("a link");
  EXPECT_EQ(ReadFile(temp_ / "host-file"), "a file of the host");
  EXPECT_TRUE(fs::is_symlink(backup_));
  fs::remove(backup_);
  fs::create_directory(backup_);
  expectStopped("a folder");
  EXPECT_TRUE(fs::is_directory(backup_));
}

TEST_F(GuestReadsConsole, TheRegistryNeverWritesBackOverAHiveWhoseBackupNameIsNoFile) {
  Platform platform = Services();
  modLoadReg(platform, "Ravlin").EnablePrivileges();
  const std::string untouched = ReadFile(hive_);
  ASSERT_EQ(platform.registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System",
                                           "C:\\WINDOWS\\system32\\config\\system"),
            0);
  RegKey key = 0;
  ASSERT_EQ(platform.registry->RegCreateKeyExA(kHkeyLocalMachine, "Ravlin_System\\Changed", "", 0,
                                               6, key, nullptr),
            0);
  platform.registry->RegCloseKey(key);
  WriteFile(temp_ / "host-file", "a file of the host");
  fs::create_symlink(temp_ / "host-file", backup_);

  EXPECT_EQ(platform.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 1921);
  EXPECT_EQ(ReadFile(hive_), untouched);
  fs::remove(backup_);
  fs::create_directory(backup_);
  EXPECT_EQ(platform.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 5);
  EXPECT_EQ(ReadFile(hive_), untouched);
  fs::remove(backup_);
  EXPECT_EQ(platform.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 0);
  EXPECT_EQ(ReadFile(backup_), untouched);
  EXPECT_NE(ReadFile(hive_), untouched);
}

TEST_F(GuestReadsConsole, GuestDriverSourcesLeadingOutOfTheGuestAreSkipped) {
  AddDriverCabinets({"sp2.cab"});
  WriteFile(temp_ / "host-i386" / "atapi.sys", DriverImage("the host's atapi.sys"));
  fs::create_directories(windows_ / "ServicePackFiles");
  fs::create_symlink(temp_ / "host-i386", windows_ / "ServicePackFiles" / "i386");
  WriteFile(temp_ / "host.cab", ReadFile(windows_ / "Driver Cache" / "i386" / "sp2.cab"));
  fs::create_symlink(temp_ / "host.cab", windows_ / "Driver Cache" / "i386" / "sp3.cab");

  const ProgramResult repaired = Repair();
  ASSERT_EQ(repaired.exitCode, 0) << repaired.out;
  EXPECT_EQ(ReadFile(Driver("atapi.sys")), DriverImage("sp2.cab atapi.sys"));
  const std::string record = ReadFile(windows_ / "ravlin.log");
  EXPECT_NE(record.find("Driver atapi.sys: skipped C:\\WINDOWS\\ServicePackFiles\\i386\\atapi.sys "
                        "(cannot be read: "),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("Driver atapi.sys: skipped C:\\WINDOWS\\Driver Cache\\i386\\sp3.cab (a "
                        "link leading out of the Windows folder)"),
            std::string::npos)
      << record;
}

}  // namespace
}  // namespace ravlin

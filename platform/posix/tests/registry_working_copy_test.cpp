// A mounted hive is edited in a working copy in the store and written back into the guest
// once, at the unload; a hive read once stays in memory while its file is unchanged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/registry/posix_registry_mounts.hpp"
#include "tests/platform/registry_fixture.hpp"

namespace ravlin::testing {
namespace {

constexpr const char* kMount = "Ravlin_System";

class RegistryWorkingCopy : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    MakeGuestHive({{"ControlSet001\\Services\\atapi", {SzValue("Group", "SCSI miniport")}},
                   {"ControlSet002\\Services", {}},
                   {"Select", {DwordValue("Current", 1)}}});
    EnablePrivileges();
  }
  std::int32_t Load() { return registry->RegLoadKeyA(kHkeyLocalMachine, kMount, kGuestHiveText); }
  std::int32_t Unload() { return registry->RegUnLoadKeyA(kHkeyLocalMachine, kMount); }
  std::int32_t Mark(PosixRegistry& where, const std::string& path) {
    RegKey key = 0;
    const auto status =
        where.RegCreateKeyExA(kHkeyLocalMachine, path, "", 0, kKeyAllAccess, key, nullptr);
    return status != 0 ? status : where.RegCloseKey(key);
  }
  bool Exists(PosixRegistry& where, const std::string& path) {
    RegKey key = 0;
    if (where.RegOpenKeyExA(kHkeyLocalMachine, path, 0, kKeyQueryValue, key) != 0) return false;
    where.RegCloseKey(key);
    return true;
  }
  std::filesystem::path Backup() const {
    return GuestHivePath().parent_path() / "system.ravlin-backup";
  }
};

TEST_F(RegistryWorkingCopy, AHiveIsReadOnceWhileItsFileIsUnchangedAndAgainAfterAnotherCommit) {
  ASSERT_EQ(Load(), 0);
  for (int n = 1; n <= 9; ++n)
    EXPECT_EQ(Exists(*registry, "Ravlin_System\\ControlSet00" + std::to_string(n)), n <= 2);
  ASSERT_EQ(Mark(*registry, "Ravlin_System\\ControlSet001\\Mine"), 0);
  EXPECT_TRUE(Exists(*registry, "Ravlin_System\\ControlSet001\\Mine"));
  EXPECT_EQ(registry->HiveReads(), 1u) << "probes, a change and its commit read the hive once";

  // Another process (here another registry object) commits: the next call sees it.
  auto other = NewRegistry();
  EXPECT_TRUE(Exists(*other, "Ravlin_System\\ControlSet001\\Mine"));
  ASSERT_EQ(Mark(*other, "Ravlin_System\\ControlSet002\\Theirs"), 0);
  EXPECT_TRUE(Exists(*registry, "Ravlin_System\\ControlSet002\\Theirs"));
  EXPECT_EQ(registry->HiveReads(), 2u);
  EXPECT_TRUE(Exists(*registry, "Ravlin_System\\ControlSet001\\Mine"));
  EXPECT_EQ(registry->HiveReads(), 2u);
}

TEST_F(RegistryWorkingCopy, AProcessKilledBeforeTheUnloadLeavesTheGuestHiveAsItWas) {
  const auto before = ReadFile(GuestHivePath());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto own = NewRegistry();
    if (own->RegLoadKeyA(kHkeyLocalMachine, kMount, kGuestHiveText) == 0 &&
        Mark(*own, "Ravlin_System\\ControlSet001\\Half") == 0)
      ::kill(::getpid(), SIGKILL);
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child did not get as far as its change";
  EXPECT_TRUE(ReadFile(GuestHivePath()) == before);
  EXPECT_FALSE(std::filesystem::exists(Backup()));

  // The mount and its copy stay for the next run, which writes them back at its unload.
  registry = NewRegistry();
  EXPECT_TRUE(Exists(*registry, "Ravlin_System\\ControlSet001\\Half"));
  ASSERT_EQ(Unload(), 0);
  EXPECT_NE(ExportHive(GuestHivePath()).find("ControlSet001\\Half]"), std::string::npos);
  EXPECT_TRUE(ReadFile(Backup()) == before);
}

TEST_F(RegistryWorkingCopy, AGuestHiveChangedSinceTheLoadIsNeverWrittenOver) {
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(Mark(*registry, "Ravlin_System\\ControlSet001\\Repaired"), 0);
  // Another program writes into the guest's hive meanwhile.
  {
    UniqueFd hive(::open(GuestHivePath().c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_EQ(::pwrite(hive.get(), "junk!", 5, 0x3000), 5);
  }
  const auto changed = ReadFile(GuestHivePath());
  const auto copy = MountTable(store).Read().at(0).copy;
  EXPECT_EQ(Unload(), kErrorFileInvalid);
  EXPECT_TRUE(ReadFile(GuestHivePath()) == changed);
  EXPECT_FALSE(std::filesystem::exists(Backup()));
  ASSERT_TRUE(std::filesystem::exists(store / ("kept-" + copy))) << "the repair's copy is kept";
  EXPECT_NE(ExportHive(store / ("kept-" + copy)).find("ControlSet001\\Repaired]"),
            std::string::npos);
  EXPECT_TRUE(MountTable(store).Read().empty()) << "the name is free for the next attempt";
}

TEST_F(RegistryWorkingCopy, AnUnloadKilledAfterItsBackupLinkIsFinishedByTheNextOne) {
  const auto before = ReadFile(GuestHivePath());
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(Mark(*registry, "Ravlin_System\\ControlSet001\\Repaired"), 0);
  // What an unload killed between keeping the backup and replacing the hive leaves: the
  // link moved the hive's change time, but not its content.
  std::filesystem::create_hard_link(GuestHivePath(), Backup());
  registry = NewRegistry();
  ASSERT_EQ(Unload(), 0);
  EXPECT_NE(ExportHive(GuestHivePath()).find("ControlSet001\\Repaired]"), std::string::npos);
  EXPECT_TRUE(ReadFile(Backup()) == before);
  for (const auto& entry : std::filesystem::directory_iterator(store))
    EXPECT_NE(entry.path().filename().string().rfind("kept-", 0), 0u) << entry.path();
}

TEST_F(RegistryWorkingCopy, TheBackupIsAHardLinkWhereItCanBeAndACopyElsewhere) {
  struct stat original {};
  ASSERT_EQ(::stat(GuestHivePath().c_str(), &original), 0);
  const auto before = ReadFile(GuestHivePath());
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(Mark(*registry, "Ravlin_System\\Select\\Changed"), 0);
  ASSERT_EQ(Unload(), 0);
  struct stat backup {};
  ASSERT_EQ(::stat(Backup().c_str(), &backup), 0);
  EXPECT_EQ(backup.st_ino, original.st_ino) << "the untouched file itself, not a copy";
  EXPECT_TRUE(ReadFile(Backup()) == before);

  // Where no link can be made, a copy of the same bytes with the same permissions.
  const auto folder = GuestHivePath().parent_path();
  std::filesystem::remove(Backup());
  std::filesystem::permissions(GuestHivePath(), std::filesystem::perms(0640));
  const auto current = ReadFile(GuestHivePath());
  UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  UniqueFd hive(::open(GuestHivePath().c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(KeepBackup(folderFd.get(), hive.get(), "system.ravlin-backup", false), 0);
  ASSERT_EQ(::stat(Backup().c_str(), &backup), 0);
  struct stat now {};
  ASSERT_EQ(::stat(GuestHivePath().c_str(), &now), 0);
  EXPECT_NE(backup.st_ino, now.st_ino);
  EXPECT_TRUE(ReadFile(Backup()) == current);
  EXPECT_EQ(backup.st_mode & 07777, 0640u);
  // An existing backup is the untouched hive: it is never replaced.
  WriteFile(GuestHivePath(), "later");
  ASSERT_EQ(KeepBackup(folderFd.get(), hive.get(), "system.ravlin-backup", true), 0);
  EXPECT_TRUE(ReadFile(Backup()) == current);
}

}  // namespace
}  // namespace ravlin::testing

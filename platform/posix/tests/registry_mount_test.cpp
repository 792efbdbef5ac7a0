#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/registry/hive_generator.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "tests/platform/registry_fixture.hpp"
#include "tests/support/run_program.hpp"

namespace ravlin::testing {
namespace {

constexpr const char* kMount = "Ravlin_System";

ProgramResult RunTool(std::vector<std::string> arguments,
                      std::map<std::string, std::optional<std::string>> environment = {},
                      std::string input = {}) {
  ProgramRun run;
  run.arguments = std::move(arguments);
  run.environment = std::move(environment);
  run.input = std::move(input);
  return RunProgram(run);
}

std::vector<TestKey> TwoControlSets() {
  return {{"ControlSet001\\Services\\atapi", {SzValue("Group", "SCSI miniport")}},
          {"ControlSet002\\Services", {}},
          {"Select", {DwordValue("Current", 1)}}};
}

class RegistryMount : public RegistryTest {
 protected:
  std::int32_t Load(const std::string& name = kMount, const std::string& file = kGuestHiveText) {
    return registry->RegLoadKeyA(kHkeyLocalMachine, name, file);
  }
  std::int32_t Unload(const std::string& name = kMount) {
    return registry->RegUnLoadKeyA(kHkeyLocalMachine, name);
  }
  std::vector<std::string> SubKeys(PosixRegistry& from, const std::string& path) {
    std::vector<std::string> names;
    RegKey key = 0;
    if (from.RegOpenKeyExA(kHkeyLocalMachine, path, 0, kKeyEnumerateSubKeys, key) != 0)
      return names;
    std::string name;
    for (std::uint32_t i = 0; from.RegEnumKeyA(key, i, name, 2048) == 0; ++i) names.push_back(name);
    from.RegCloseKey(key);
    return names;
  }
  std::filesystem::path Backup() const {
    return GuestHivePath().parent_path() / "system.ravlin-backup";
  }
};

TEST_F(RegistryMount, NeedsBothPrivilegesEnabledThroughTheToken) {
  MakeGuestHive(TwoControlSets());
  EXPECT_EQ(Load(), kErrorPrivilegeNotHeld);
  EXPECT_EQ(Unload(), kErrorPrivilegeNotHeld);
  EnablePrivileges();
  EXPECT_EQ(Load(), 0);
  PosixToken token(privileges);
  Handle handle = 0;
  ASSERT_TRUE(token.OpenProcessToken(token.GetCurrentProcess(), 0x28, handle));
  ASSERT_TRUE(token.AdjustTokenPrivileges(handle, true, TokenPrivileges{}, kTokenPrivilegesSize));
  EXPECT_EQ(Unload(), kErrorPrivilegeNotHeld);
}

TEST_F(RegistryMount, KeysBelowTheMountLiveInTheGuestFileAndTheMountOutlivesTheRun) {
  MakeGuestHive(TwoControlSets());
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(SubKeys(*registry, "ravlin_system"),
            (std::vector<std::string>{"ControlSet001", "ControlSet002", "Select"}));
  EXPECT_EQ(SubKeys(*registry, ""), (std::vector<std::string>{kMount}));

  const RegKey key = Create(kHkeyLocalMachine, "Ravlin_System\\ControlSet001\\Services\\intelide");
  ASSERT_EQ(SetString(key, "ImagePath", "System32\\DRIVERS\\intelide.sys"), 0);
  const std::uint32_t start = 0;
  ASSERT_EQ(registry->RegSetValueExA(key, "Start", kRegDword,
                                     reinterpret_cast<const std::uint8_t*>(&start), 4),
            0);
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_FALSE(std::filesystem::exists(store / "HKLM.hiv")) << "nothing went to the store";

  // The next run finds the mount, and the changes, until it is unloaded.
  registry = NewRegistry();
  EXPECT_EQ(SubKeys(*registry, "Ravlin_System\\ControlSet001\\Services"),
            (std::vector<std::string>{"atapi", "intelide"}));
  EXPECT_EQ(Unload("RAVLIN_SYSTEM"), 0);
  const auto exported = ExportHive(GuestHivePath());
  EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\TEST\\ControlSet001\\Services\\intelide]\n"
                          "\"ImagePath\"=hex(1):53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,"
                          "5c,00,44,00,52,00,49,00,56,00,45,00,52,00,53,00,5c,00,69,00,6e,00,74,"
                          "00,65,00,6c,00,69,00,64,00,65,00,2e,00,73,00,79,00,73,00,00,00\n"
                          "\"Start\"=dword:00000000\n"),
            std::string::npos)
      << exported;
  EXPECT_NE(exported.find("\"Group\"=hex(1):53,00,43,00,53,00,49,00"), std::string::npos);
  RegKey gone = 0;
  EXPECT_EQ(registry->RegOpenKeyExA(kHkeyLocalMachine, kMount, 0, kKeyEnumerateSubKeys, gone),
            kErrorFileNotFound);
  EXPECT_EQ(Unload(), kErrorFileNotFound);
  EXPECT_EQ(ReadFile(store / "mounts"), "");
}

TEST_F(RegistryMount, NamesAndFilesInUseAreRefused) {
  MakeGuestHive(TwoControlSets());
  MakeTestHive(drive / "other", {{"Other", {}}});
  EnablePrivileges();
  registry->RegCloseKey(Create(kHkeyLocalMachine, "SOFTWARE"));
  EXPECT_EQ(Load("software"), kErrorAccessDenied) << "a key of HKLM has that name";
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(Load(kMount, "C:\\other"), kErrorAccessDenied) << "the name is mounted";
  EXPECT_EQ(Load("Second", "C:\\windows\\SYSTEM32\\config\\SYSTEM"), kErrorSharingViolation);
  EXPECT_EQ(Load("Store", "Z:" + (store / "HKLM.hiv").string()), kErrorSharingViolation)
      << "a hive of the store itself";

  EXPECT_EQ(registry->RegDeleteTreeA(kHkeyLocalMachine, kMount), kErrorAccessDenied)
      << "a mounted hive goes only by unloading it";
  RegKey open = 0;
  ASSERT_EQ(
      registry->RegOpenKeyExA(kHkeyLocalMachine, "Ravlin_System\\Select", 0, kKeyQueryValue, open),
      0);
  EXPECT_EQ(Unload(), kErrorAccessDenied) << "a key of the hive is open";
  ASSERT_EQ(registry->RegCloseKey(open), 0);
  EXPECT_EQ(Unload(), 0);
  EXPECT_EQ(Load("Second", "C:\\other"), 0);
  EXPECT_EQ(Load(kMount, "C:\\missing\\system"), kErrorFileNotFound);
  EXPECT_EQ(Load(kMount, "Q:\\system"), kErrorFileNotFound);
  EXPECT_EQ(registry->RegLoadKeyA(kHkeyCurrentUser, kMount, kGuestHiveText),
            kErrorInvalidParameter);
  EXPECT_EQ(Load("A\\B"), kErrorInvalidParameter);
}

TEST_F(RegistryMount, AHiveFileThatCannotBeWrittenIsRefused) {
  const auto file = MakeGuestHive(TwoControlSets());
  EnablePrivileges();
  const bool administrator = ::geteuid() == 0;
  // The administrator may write any file unless it is immutable.
  const std::string lock =
      administrator ? "chattr +i '" + file.string() + "'" : "chmod a-w '" + file.string() + "'";
  const std::string unlock =
      administrator ? "chattr -i '" + file.string() + "'" : "chmod u+w '" + file.string() + "'";
  if (std::system(lock.c_str()) != 0) GTEST_SKIP() << "cannot make the file read-only here";
  const auto status = Load();
  ASSERT_EQ(std::system(unlock.c_str()), 0);
  // Only a user who may override file permissions holds what the privileges stand for.
  EXPECT_EQ(status, administrator ? kErrorAccessDenied : kErrorPrivilegeNotHeld);
}

TEST_F(RegistryMount, AUserWhoMayNotChangeTheGuestLacksThePrivilege) {
  const auto file = MakeGuestHive(TwoControlSets());
  const auto before = ReadFile(file);
  if (::geteuid() != 0) {
    std::filesystem::permissions(file, std::filesystem::perms(0444));
    privileges = std::make_shared<PrivilegeState>();
    registry = NewRegistry();
    EnablePrivileges();
    EXPECT_EQ(Load(), kErrorPrivilegeNotHeld);
    return;
  }
  // The administrator tries it as an ordinary user: the guest readable but not writable.
  for (auto folder = file.parent_path(); folder != dir.path().parent_path();
       folder = folder.parent_path())
    std::filesystem::permissions(folder, std::filesystem::perms(0755));
  std::filesystem::permissions(file, std::filesystem::perms(0644));
  const auto userStore = dir / "user-store";
  std::filesystem::create_directories(userStore);
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chown(userStore.c_str(), kNobody, kNobody), 0);
  int result[2];
  ASSERT_EQ(::pipe(result), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::int32_t status = -1;
    if (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) {
      auto userPrivileges = std::make_shared<PrivilegeState>();
      PosixToken token(userPrivileges);
      Handle handle = 0;
      Luid restore, backup;
      token.OpenProcessToken(token.GetCurrentProcess(), 0x28, handle);
      token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore);
      token.LookupPrivilegeValueA("", "SeBackupPrivilege", backup);
      const TokenPrivileges record{
          2, {{{restore, kSePrivilegeEnabled}, {backup, kSePrivilegeEnabled}}}};
      token.AdjustTokenPrivileges(handle, false, record, kTokenPrivilegesSize);
      const bool told = token.GetLastError() == 1300;
      PosixRegistry user(userStore, std::make_shared<DriveTable>("C=" + drive.string()),
                         userPrivileges);
      status = told ? user.RegLoadKeyA(kHkeyLocalMachine, kMount, kGuestHiveText) : -2;
    }
    static_cast<void>(::write(result[1], &status, sizeof status));
    ::_exit(0);
  }
  ::close(result[1]);
  std::int32_t status = 0;
  ASSERT_EQ(::read(result[0], &status, sizeof status), static_cast<ssize_t>(sizeof status));
  ::close(result[0]);
  int exitStatus = 0;
  ::waitpid(child, &exitStatus, 0);
  EXPECT_EQ(status, kErrorPrivilegeNotHeld) << "-2: the token did not report 1300";
  EXPECT_TRUE(ReadFile(file) == before);
}

TEST_F(RegistryMount, AGuestOnAReadOnlyVolumeIsWriteProtected) {
  const auto volume = drive / "WINDOWS";
  std::filesystem::create_directories(volume);
  if (::geteuid() != 0 ||
      std::system(
          ("mount -t tmpfs -o size=4m tmpfs '" + volume.string() + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a volume here";
  MakeGuestHive(TwoControlSets());
  EnablePrivileges();
  const bool readOnly = std::system(("mount -o remount,ro '" + volume.string() + "'").c_str()) == 0;
  const auto status = readOnly ? Load() : -1;
  std::system(("umount '" + volume.string() + "'").c_str());
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(status, kErrorWriteProtect);
}

TEST_F(RegistryMount, InvalidHivesAreRefusedAndLeftByteForByteUnchanged) {
  EnablePrivileges();
  const auto file = GuestHivePath();
  std::filesystem::create_directories(file.parent_path());
  struct Case {
    std::string what;
    std::function<void()> make;
    std::int32_t status;
  };
  const std::vector<Case> cases{
      {"garbage", [&] { WriteFile(file, std::string(20000, '\x5A')); }, kErrorNotRegistryFile},
      {"too short", [&] { WriteFile(file, "regf"); }, kErrorNotRegistryFile},
      {"truncated inside its bins",
       [&] {
         DecompressTestHive("win7-system", file);
         std::filesystem::resize_file(file, 2 * 1024 * 1024);
       },
       kErrorBadDb},
      {"header overwritten",
       [&] {
         MakeTestHive(file, TwoControlSets());
         auto bytes = ReadFile(file);
         bytes.replace(0x30, 8, "GARBAGE!");
         WriteFile(file, bytes);
       },
       kErrorBadDb},
      {"bins not in whole pages",
       [&] {
         MakeTestHive(file, TwoControlSets());
         auto bytes = ReadFile(file);
         bytes.resize(0x8000, '\0');
         bytes.replace(0x28, 4, std::string("\x00\x31\x00\x00", 4));
         const auto sum = HiveHeaderChecksum(reinterpret_cast<const std::uint8_t*>(bytes.data()));
         for (int i = 0; i < 4; ++i) bytes[0x1FC + i] = static_cast<char>(sum >> (8 * i));
         WriteFile(file, bytes);
       },
       kErrorBadDb},
      {"corrupted XP hive", [&] { DecompressTestHive("xp-sp3-system-corrupted", file); },
       kErrorBadDb},
      {"dirty hive without its log", [&] { DecompressTestHive("win10-system-dirty", file); },
       kErrorRegistryCorrupt},
  };
  for (const auto& c : cases) {
    c.make();
    const auto before = ReadFile(file);
    EXPECT_EQ(Load(), c.status) << c.what;
    EXPECT_TRUE(ReadFile(file) == before) << c.what;
    EXPECT_FALSE(std::filesystem::exists(Backup())) << c.what;
    EXPECT_EQ(SubKeys(*registry, ""), std::vector<std::string>{}) << c.what;
  }
}

TEST_F(RegistryMount, BackupIsTakenOnceWhenTheFirstChangeIsWrittenBack) {
  const auto file = MakeGuestHive(TwoControlSets());
  std::filesystem::permissions(file, std::filesystem::perms(0640));
  const auto untouched = ReadFile(file);
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  registry->RegCloseKey(Create(kHkeyLocalMachine, "Ravlin_System\\ControlSet001"));
  ASSERT_EQ(Unload(), 0);
  EXPECT_FALSE(std::filesystem::exists(Backup())) << "nothing changed";
  EXPECT_TRUE(ReadFile(file) == untouched);

  ASSERT_EQ(Load(), 0);
  RegKey key = Create(kHkeyLocalMachine, "Ravlin_System\\ControlSet001\\First");
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_FALSE(std::filesystem::exists(Backup())) << "the guest is written at the unload only";
  EXPECT_TRUE(ReadFile(file) == untouched);
  ASSERT_EQ(Unload(), 0);
  ASSERT_TRUE(std::filesystem::exists(Backup()));
  EXPECT_TRUE(ReadFile(Backup()) == untouched);
  EXPECT_NE(ExportHive(file).find("ControlSet001\\First]"), std::string::npos);
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(std::filesystem::status(Backup()).permissions(), std::filesystem::perms(0640));

  registry = NewRegistry();  // a later run changes the already changed file
  ASSERT_EQ(Load(), 0);
  key = Create(kHkeyLocalMachine, "Ravlin_System\\ControlSet001\\Second");
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  ASSERT_EQ(Unload(), 0);
  EXPECT_TRUE(ReadFile(Backup()) == untouched);
  EXPECT_NE(ExportHive(file).find("ControlSet001\\Second]"), std::string::npos);
  std::size_t leftovers = 0;
  for (const auto& folder : {file.parent_path(), store})
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      leftovers += entry.path().extension() == ".tmp" || entry.path().extension() == ".hiv";
  EXPECT_EQ(leftovers, 0u);
}

TEST_F(RegistryMount, TheNextMountRemovesOnlyOurOwnStaleTemporaryFiles) {
  const auto file = MakeGuestHive(TwoControlSets());
  const auto config = file.parent_path();
  const std::vector<std::string> stale{".system.ravlin-12345678.tmp", ".system.ravlin-7.tmp",
                                       ".system.ravlin-backup.ravlin-42.tmp"};
  const std::vector<std::string> others{"system.ravlin-7.tmp",      ".system.ravlin-12a.tmp",
                                        ".system.ravlin-.tmp",      ".system.ravlin-123456789.tmp",
                                        ".system.ravlin-7.tmp.bak", "notes.tmp",
                                        ".system.other-7.tmp",      ".system.ravlin-99.tmp"};
  for (const auto& name : stale) WriteFile(config / name, std::string(4096, 'x'));
  for (const auto& name : others) WriteFile(config / name, "keep");
  // A replacement another process is writing right now.
  UniqueFd busy(::open((config / ".system.ravlin-99.tmp").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(busy.get(), LOCK_EX), 0);
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(config / name)) << name;
  for (const auto& name : others) EXPECT_TRUE(std::filesystem::exists(config / name)) << name;
}

TEST_F(RegistryMount, ADiscardedMountLeavesTheGuestAsItWasAndEndsForEveryProcess) {
  const auto file = MakeGuestHive(TwoControlSets());
  const auto untouched = ReadFile(file);
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  // Changes made and committed below the mount, by this process and by another one.
  ASSERT_EQ(registry->RegCloseKey(Create(kHkeyLocalMachine, "Ravlin_System\\ControlSet001\\A")), 0);
  auto other = NewRegistry();
  RegKey open = 0;
  ASSERT_EQ(other->RegCreateKeyExA(kHkeyLocalMachine, "Ravlin_System\\ControlSet002\\B", "", 0,
                                   kKeyAllAccess, open, nullptr),
            0);
  ASSERT_EQ(other->RegCloseKey(open), 0);
  // A key this process still holds open keeps the mount, as for an unload.
  open = Create(kHkeyLocalMachine, "Ravlin_System\\Select");
  EXPECT_EQ(registry->DiscardLoadedKey(kHkeyLocalMachine, kMount), kErrorAccessDenied);
  ASSERT_EQ(registry->RegCloseKey(open), 0);

  EXPECT_EQ(registry->DiscardLoadedKey(kHkeyLocalMachine, "RAVLIN_SYSTEM"), 0);
  EXPECT_TRUE(ReadFile(file) == untouched);
  EXPECT_FALSE(std::filesystem::exists(Backup()));
  EXPECT_TRUE(SubKeys(*other, "").empty());
  EXPECT_EQ(registry->DiscardLoadedKey(kHkeyLocalMachine, kMount), kErrorFileNotFound);
  EXPECT_EQ(Unload(), kErrorFileNotFound);
  for (const auto& entry : std::filesystem::directory_iterator(store))
    EXPECT_NE(entry.path().extension(), ".hiv") << entry.path();
  // The name is free again, and the next mount sees the hive as it was.
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(SubKeys(*registry, "Ravlin_System\\ControlSet001"),
            std::vector<std::string>{"Services"});
  EXPECT_EQ(Unload(), 0);
}

TEST_F(RegistryMount, ExtendedAttributesOfTheHiveAreKept) {
  const auto file = MakeGuestHive(TwoControlSets());
  if (std::system(
          ("setfattr -n user.ravlin -v kept '" + file.string() + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no user extended attributes on this file system";
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(registry->RegCloseKey(Create(kHkeyLocalMachine, "Ravlin_System\\New")), 0);
  ASSERT_EQ(Unload(), 0);
  const auto probe =
      RunTool({"/usr/bin/getfattr", "--only-values", "-n", "user.ravlin", file.string()});
  EXPECT_EQ(probe.out, "kept");
}

TEST_F(RegistryMount, WritesNeverFollowALinkOutOfTheGuestTree) {
  EnablePrivileges();
  const auto outside = dir / "outside";
  std::filesystem::create_directories(outside);
  MakeTestHive(outside / "system", TwoControlSets());
  const auto config = GuestHivePath().parent_path();
  std::filesystem::create_directories(config.parent_path());

  // The config folder is a link that leaves drive C:.
  std::filesystem::create_directory_symlink(outside, config);
  EXPECT_EQ(Load(), kErrorCantResolveFilename);
  std::filesystem::remove(config);

  // With the whole machine as drive Z:, a link to another file system still leaves the guest.
  if (::access("/dev/shm", W_OK) == 0) {
    TempDir elsewhere;
    const std::filesystem::path shm = "/dev/shm" / elsewhere.path().filename();
    std::filesystem::create_directories(shm);
    MakeTestHive(shm / "system", TwoControlSets());
    std::filesystem::create_directory_symlink(shm, config);
    const auto status = Load(kMount, "Z:" + GuestHivePath().string());
    std::filesystem::remove_all(shm);
    std::filesystem::remove(config);
    EXPECT_EQ(status, kErrorCantResolveFilename);
  }

  // The hive file itself is a link.
  std::filesystem::create_directories(config);
  std::filesystem::create_symlink(outside / "system", GuestHivePath());
  EXPECT_EQ(Load(), kErrorCantResolveFilename);
  std::filesystem::remove(GuestHivePath());

  // Elsewhere on drive C:, but outside the Windows folder: as far out of the guest.
  std::filesystem::remove(config);
  const auto windows = drive / "WINDOWS";
  std::filesystem::create_directories(drive / "real-config");
  MakeTestHive(drive / "real-config" / "system", TwoControlSets());
  std::filesystem::create_directory_symlink(drive / "real-config", config);
  EXPECT_EQ(Load(), kErrorCantResolveFilename);
  EXPECT_FALSE(std::filesystem::exists(drive / "real-config" / "system.ravlin-backup"));
  std::filesystem::remove(config);

  // A link that stays inside the Windows folder is fine.
  std::filesystem::create_directories(windows / "real-config");
  MakeTestHive(windows / "real-config" / "system", TwoControlSets());
  std::filesystem::create_directory_symlink("../real-config", config);
  ASSERT_EQ(Load(), 0);

  // The folder replaced by a link after the mount: the write-back is refused, nothing
  // changes, and the mount stays for another try.
  const RegKey key = Create(kHkeyLocalMachine, "Ravlin_System\\Select");
  ASSERT_EQ(SetString(key, "Changed", "1"), 0);
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  std::filesystem::rename(windows / "real-config", windows / "moved");
  std::filesystem::create_directory_symlink(outside, windows / "real-config");
  const auto before = ReadFile(outside / "system");
  EXPECT_EQ(Unload(), kErrorCantResolveFilename);
  EXPECT_TRUE(ReadFile(outside / "system") == before);
  EXPECT_FALSE(std::filesystem::exists(outside / "system.ravlin-backup"));
  EXPECT_EQ(SubKeys(*registry, ""), std::vector<std::string>{kMount});
}

TEST_F(RegistryMount, AKeyHoldingABigValueIsNeverRewritten) {
  const std::vector<std::uint8_t> big(20000, 0xAB);
  MakeGuestHive({{"ControlSet001\\Enum\\Big", {BinaryValue("Blob", big)}},
                 {"ControlSet001\\Enum\\Small", {}}});
  const auto before = ReadFile(GuestHivePath());
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  RegKey key = Create(kHkeyLocalMachine, "Ravlin_System\\ControlSet001\\Enum\\Big");
  EXPECT_EQ(SetString(key, "Other", "x"), kErrorNotSupported);
  EXPECT_EQ(registry->RegDeleteValueA(key, "Blob"), 0) << "removing it rewrites nothing big";
  ASSERT_EQ(registry->RegCloseKey(key), 0);

  key = Create(kHkeyLocalMachine, "Ravlin_System\\ControlSet001\\Enum\\Small");
  EXPECT_EQ(registry->RegSetValueExA(key, "Blob", kRegBinary, big.data(),
                                     static_cast<std::uint32_t>(big.size())),
            kErrorNotSupported);
  const std::vector<std::uint8_t> largest(16344, 0x01);
  EXPECT_EQ(registry->RegSetValueExA(key, "Largest", kRegBinary, largest.data(),
                                     static_cast<std::uint32_t>(largest.size())),
            0);
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  ASSERT_EQ(Unload(), 0);
  EXPECT_TRUE(ReadFile(Backup()) == before);
}

TEST_F(RegistryMount, ALargeRealHiveIsReadAndChangedFaithfully) {
  DecompressTestHive("win7-system", GuestHivePath());
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(
      SubKeys(*registry, "Ravlin_System\\ControlSet001\\Control\\CriticalDeviceDatabase").size(),
      2548u);
  RegKey key = 0;
  ASSERT_EQ(
      registry->RegOpenKeyExA(kHkeyLocalMachine, "Ravlin_System\\Select", 0, kKeyQueryValue, key),
      0);
  std::vector<std::uint8_t> data;
  ASSERT_EQ(Query(key, "LastKnownGood", data), 0);
  EXPECT_EQ(data, (std::vector<std::uint8_t>{2, 0, 0, 0}));
  ASSERT_EQ(registry->RegCloseKey(key), 0);

  key = Create(kHkeyLocalMachine,
               "Ravlin_System\\ControlSet002\\Control\\CriticalDeviceDatabase\\pci#ven_8086");
  ASSERT_EQ(SetString(key, "Service", "intelide"), 0);
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  ASSERT_EQ(Unload(), 0);

  const auto shell =
      RunTool({"/usr/bin/hivexsh", GuestHivePath().string()}, {},
              "cd ControlSet002\\Control\\CriticalDeviceDatabase\\PCI#VEN_8086\nlsval\n"
              "cd \\Select\nlsval\n");
  EXPECT_NE(shell.out.find("\"Service\"=\"intelide\""), std::string::npos) << shell.out;
  EXPECT_NE(shell.out.find("\"LastKnownGood\"=dword:00000002"), std::string::npos) << shell.out;
}

TEST_F(RegistryMount, AnotherProcessSeesTheMountAndCannotMountTheSameFile) {
  MakeGuestHive(TwoControlSets());
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  std::error_code error;
  const auto probe =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "registry_probe";
  ASSERT_TRUE(std::filesystem::exists(probe)) << probe;
  const std::map<std::string, std::optional<std::string>> environment{
      {"RAVLIN_REGISTRY", store.string()}, {"RAVLIN_DRIVES", "C=" + drive.string()}};

  auto seen = RunTool({probe.string(), "enum", "Ravlin_System"}, environment);
  EXPECT_EQ(seen.out, "ControlSet001\nControlSet002\nSelect\n0\n") << seen.err;
  auto again = RunTool({probe.string(), "load", "Other", kGuestHiveText}, environment);
  EXPECT_EQ(again.out, "32\n");
  again = RunTool({probe.string(), "load", "ravlin_system", "C:\\x"}, environment);
  EXPECT_EQ(again.out, "5\n");

  ASSERT_EQ(RunTool({probe.string(), "unload", kMount}, environment).out, "0\n");
  EXPECT_EQ(SubKeys(*registry, ""), std::vector<std::string>{}) << "this process sees it too";
}

TEST_F(RegistryMount, AMountWhoseFileWentAwayFreesItsName) {
  const auto file = MakeGuestHive(TwoControlSets());
  EnablePrivileges();
  ASSERT_EQ(Load(), 0);
  std::filesystem::rename(file.parent_path(), drive / "elsewhere");
  EXPECT_EQ(Load(kMount, "C:\\elsewhere\\system"), 0);
  EXPECT_EQ(SubKeys(*registry, "Ravlin_System\\ControlSet001\\Services"),
            std::vector<std::string>{"atapi"});
}

}  // namespace
}  // namespace ravlin::testing

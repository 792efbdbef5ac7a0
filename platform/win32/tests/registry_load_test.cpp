// Loads hives with the system's own loader. Wine's RegLoadKey refuses a binary regf hive
// (1017) and reads only Wine's own text format ("WINE REGISTRY Version 2", as its RegSaveKey
// writes it), so these tests write their hives in that format; Wine also never writes the
// changes of a loaded hive back into its file, and unloads a hive with keys still open, so
// nothing here depends on either.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/win32/registry/win32_hive_reader.hpp"
#include "platform/win32/registry/win32_registry.hpp"
#include "platform/win32/registry/win32_token.hpp"
#include "tests/contract/hive_privileges.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

// A small SYSTEM hive: a control set with a Greek value, and Select.
constexpr char kHiveText[] =
    "WINE REGISTRY Version 2\n"
    "\n"
    "[ControlSet001\\\\Control] 0\n"
    "\"Greek\"=\"\\x39a\\x3b1\\x3bb\\x3b7\\x3bc\\x3ad\\x3c1\\x3b1\"\n"
    "\"List\"=str(7):\"a\\0b\\0\"\n"
    "[ControlSet001\\\\Services\\\\ftdisk] 0\n"
    "\"Start\"=dword:00000000\n"
    "[Select] 0\n"
    "\"Current\"=dword:00000001\n";

DWORD WINAPI TryTake(void* mutex) {
  const DWORD wait = ::WaitForSingleObject(mutex, 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ::ReleaseMutex(mutex);
  return wait;
}

// Tries the mutex from a thread of its own: a mutex is its owning thread's, so only another
// thread (or process) sees whether it is held.
DWORD WaitFromAnotherThread(HANDLE mutex) {
  const HANDLE thread = ::CreateThread(nullptr, 0, TryTake, mutex, 0, nullptr);
  if (thread == nullptr) return WAIT_FAILED;
  ::WaitForSingleObject(thread, INFINITE);
  DWORD result = WAIT_FAILED;
  ::GetExitCodeThread(thread, &result);
  ::CloseHandle(thread);
  return result;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class RegistryLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("ravlin-load-" + std::to_string(random()));
    fs::create_directories(folder_);
    hive_ = folder_ / "system";
    std::ofstream(hive_, std::ios::binary) << kHiveText;
    name_ = "RavlinLoadTest-" + std::to_string(random());
    SetPrivileges(true);
  }
  void TearDown() override {
    SetPrivileges(false);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void SetPrivileges(bool enable) { testing::SetHivePrivileges(token_, enable); }
  std::string Path(const fs::path& file) const { return file.string(); }
  std::int32_t Open(const std::string& path, RegKey& key) {
    return registry_.RegOpenKeyExA(kHkeyLocalMachine, path, 0, kKeyQueryValue, key);
  }
  std::string Greek(RegKey key) {
    char data[64] = {};
    std::uint32_t size = sizeof data;
    EXPECT_EQ(registry_.RegQueryValueExA(key, "Greek", nullptr,
                                         reinterpret_cast<std::uint8_t*>(data), &size),
              kErrorSuccess);
    return std::string(data, size);
  }

  Win32Token token_;
  Win32Registry registry_;
  fs::path folder_;
  fs::path hive_;
  std::string name_;
};

TEST_F(RegistryLoadTest, TheUntouchedFileIsKeptBeforeTheLoadAndTheUnloadRemovesTheKey) {
  ASSERT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  const fs::path backup = folder_ / "system.ravlin-backup";
  EXPECT_EQ(ReadFile(backup), kHiveText);
  EXPECT_FALSE(fs::exists(folder_ / "system.ravlin-backup.partial"));

  RegKey control = 0;
  ASSERT_EQ(Open(name_ + "\\controlset001\\CONTROL", control), kErrorSuccess);
  EXPECT_EQ(Greek(control), std::string("Καλημέρα") + '\0');
  EXPECT_EQ(registry_.RegCloseKey(control), kErrorSuccess);

  // A second load of the name is refused and leaves the first one as it was.
  EXPECT_NE(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  ASSERT_EQ(Open(name_ + "\\ControlSet001\\Control", control), kErrorSuccess);
  EXPECT_EQ(Greek(control), std::string("Καλημέρα") + '\0');
  EXPECT_EQ(registry_.RegCloseKey(control), kErrorSuccess);

  EXPECT_EQ(registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_), kErrorSuccess);
  RegKey gone = 0;
  EXPECT_EQ(Open(name_, gone), kErrorFileNotFound);
  EXPECT_EQ(registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_), kErrorFileNotFound);

  // The backup is made once: a later load keeps the first one.
  std::ofstream(hive_, std::ios::app) << "[Later] 0\n";
  ASSERT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  EXPECT_EQ(ReadFile(backup), kHiveText);
  EXPECT_EQ(registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_), kErrorSuccess);
}

TEST_F(RegistryLoadTest, ADiscardedLoadPutsBackTheHiveAsItWasBeforeTheLoad) {
  ASSERT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  EXPECT_EQ(ReadFile(folder_ / "system.ravlin-loaded"), kHiveText);
  // What the system writes into the loaded hive's file (Wine leaves the file open to others).
  std::ofstream(hive_, std::ios::app | std::ios::binary) << "[Written while loaded] 0\n";

  EXPECT_EQ(registry_.DiscardLoadedKey(kHkeyLocalMachine, name_), kErrorSuccess);
  RegKey gone = 0;
  EXPECT_EQ(Open(name_, gone), kErrorFileNotFound);
  EXPECT_EQ(ReadFile(hive_), kHiveText);
  EXPECT_FALSE(fs::exists(folder_ / "system.ravlin-loaded"));
  EXPECT_EQ(registry_.DiscardLoadedKey(kHkeyLocalMachine, name_), kErrorFileNotFound);

  // An unload keeps what was written, and the copy made for a discard goes.
  ASSERT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  std::ofstream(hive_, std::ios::app | std::ios::binary) << "[Written while loaded] 0\n";
  EXPECT_EQ(registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_), kErrorSuccess);
  EXPECT_EQ(ReadFile(hive_), std::string(kHiveText) + "[Written while loaded] 0\n");
  EXPECT_FALSE(fs::exists(folder_ / "system.ravlin-loaded"));
}

DWORD WINAPI CloseAfterASecond(void* file) {
  ::Sleep(1000);
  ::CloseHandle(file);
  return 0;
}

// A hive marked read-only, hidden and system loads and comes back with its attributes; one
// that another program holds open for a moment (a scanner) is waited for.
TEST_F(RegistryLoadTest, AttributesAreKeptAndAFileHeldOpenForAMomentIsWaitedFor) {
  const std::wstring hive = hive_.wstring();
  const DWORD marked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(::SetFileAttributesW(hive.c_str(), marked));
  // What the file system keeps of them (read-only at least).
  const DWORD kept = ::GetFileAttributesW(hive.c_str()) & marked;
  ASSERT_NE(kept & FILE_ATTRIBUTE_READONLY, 0u);
  ASSERT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  EXPECT_EQ(::GetFileAttributesW(hive.c_str()) & marked, 0u);
  RegKey control = 0;
  ASSERT_EQ(Open(name_ + "\\ControlSet001\\Control", control), kErrorSuccess);
  EXPECT_EQ(Greek(control), std::string("Καλημέρα") + '\0');
  EXPECT_EQ(registry_.RegCloseKey(control), kErrorSuccess);
  EXPECT_EQ(registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_), kErrorSuccess);
  EXPECT_EQ(::GetFileAttributesW(hive.c_str()) & marked, kept);

  // A refused load gives them back as well.
  const fs::path damaged = folder_ / "damaged";
  std::ofstream(damaged, std::ios::binary) << "not a hive";
  ASSERT_TRUE(::SetFileAttributesW(damaged.wstring().c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_NE(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(damaged)), kErrorSuccess);
  EXPECT_EQ(::GetFileAttributesW(damaged.wstring().c_str()) & marked, FILE_ATTRIBUTE_READONLY);

  ASSERT_TRUE(::SetFileAttributesW(hive.c_str(), FILE_ATTRIBUTE_NORMAL));
  const HANDLE held =
      ::CreateFileW(hive.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const HANDLE closer = ::CreateThread(nullptr, 0, CloseAfterASecond, held, 0, nullptr);
  ASSERT_NE(closer, nullptr);
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  EXPECT_GE(::GetTickCount() - start, 900u);
  ::WaitForSingleObject(closer, INFINITE);
  ::CloseHandle(closer);
  EXPECT_EQ(registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_), kErrorSuccess);
}

TEST_F(RegistryLoadTest, ARefusedSecondLoadLeavesAnEmptyHiveLoaded) {
  std::ofstream(hive_, std::ios::binary | std::ios::trunc) << "WINE REGISTRY Version 2\n";
  ASSERT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  EXPECT_NE(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorSuccess);
  RegKey key = 0;
  ASSERT_EQ(Open(name_, key), kErrorSuccess);
  EXPECT_EQ(registry_.RegCloseKey(key), kErrorSuccess);
  EXPECT_EQ(registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_), kErrorSuccess);
}

TEST_F(RegistryLoadTest, ABackupThatCannotBeMadeRefusesTheLoad) {
  // A folder where the copy must go.
  fs::create_directory(folder_ / "system.ravlin-backup.partial");
  EXPECT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorAccessDenied);
  RegKey key = 0;
  EXPECT_EQ(Open(name_, key), kErrorFileNotFound);
  EXPECT_FALSE(fs::exists(folder_ / "system.ravlin-backup"));
  EXPECT_EQ(ReadFile(hive_), kHiveText);
}

TEST_F(RegistryLoadTest, TheHiveReaderReadsACopyAndLeavesNothingBehind) {
  auto registry = std::make_shared<Win32Registry>();
  Win32HiveReader reader(registry);
  // The reader enables the privileges it needs, and puts them back afterwards.
  SetPrivileges(false);

  const auto current = reader.ReadValue(Path(hive_), "Select", "current");
  ASSERT_TRUE(current.has_value());
  EXPECT_EQ(current->type, kRegDword);
  EXPECT_EQ(current->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_TRUE(reader.KeyExists(Path(hive_), "ControlSet001\\Services\\FTDISK"));
  EXPECT_FALSE(reader.KeyExists(Path(hive_), "ControlSet001\\Services\\volmgr"));
  EXPECT_FALSE(reader.ReadValue(Path(hive_), "Select", "Missing").has_value());

  const auto tree = reader.ReadTree(Path(hive_), "\\ControlSet001\\");
  ASSERT_TRUE(tree.has_value());
  ASSERT_EQ(tree->size(), 4u);
  EXPECT_EQ(tree->at(0).path, "");
  EXPECT_TRUE(tree->at(0).values.empty());
  EXPECT_EQ(tree->at(1).path, "Control");
  ASSERT_EQ(tree->at(1).values.size(), 2u);
  const HiveValue* greek = &tree->at(1).values[0];
  if (greek->name != "Greek") greek = &tree->at(1).values[1];
  EXPECT_EQ(greek->name, "Greek");
  EXPECT_EQ(greek->type, kRegSz);
  // As stored: UTF-16LE.
  const std::u16string text = u"Καλημέρα";
  EXPECT_EQ(greek->data,
            std::vector<std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(text.c_str()),
                reinterpret_cast<const std::uint8_t*>(text.c_str()) + (text.size() + 1) * 2));
  EXPECT_EQ(tree->at(2).path, "Services");
  EXPECT_EQ(tree->at(3).path, "Services\\ftdisk");

  const fs::path garbage = folder_ / "garbage";
  std::ofstream(garbage, std::ios::binary) << std::string(4096, 'x');
  EXPECT_FALSE(reader.KeyExists(Path(garbage), ""));
  EXPECT_FALSE(reader.ReadTree(Path(folder_ / "missing"), "").has_value());

  EXPECT_EQ(ReadFile(hive_), kHiveText);
  EXPECT_EQ(ReadFile(garbage), std::string(4096, 'x'));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2)
      << "no backup or copy beside the files read";
  // Nothing stays loaded or left below HKLM.
  std::string name;
  for (std::uint32_t index = 0; registry_.RegEnumKeyA(kHkeyLocalMachine, index, name, 256) == 0;
       ++index)
    EXPECT_EQ(name.rfind("Ravlin-HiveReader-", 0), std::string::npos) << name;
  EXPECT_EQ(registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Path(hive_)), kErrorPrivilegeNotHeld);
  EXPECT_FALSE(fs::exists(folder_ / "system.ravlin-backup")) << "no backup for a refused load";
}

// Another process (of this or another version) sees the claim through the mutex's name.
TEST(RepairClaimTest, AClaimHoldsTheMachinesMutexUntilItIsReleased) {
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Global\\Ravlin.RepairClaim");
  ASSERT_NE(mutex, nullptr);
  Win32Registry registry;
  auto claim = registry.ClaimForRepair();
  ASSERT_NE(claim, nullptr);
  EXPECT_EQ(WaitFromAnotherThread(mutex), static_cast<DWORD>(WAIT_TIMEOUT));
  claim.reset();
  EXPECT_EQ(WaitFromAnotherThread(mutex), WAIT_OBJECT_0);
  ::CloseHandle(mutex);
}

}  // namespace
}  // namespace ravlin

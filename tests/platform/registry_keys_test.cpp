#include <gtest/gtest.h>

#include "tests/platform/registry_fixture.hpp"

namespace ravlin::testing {
namespace {

using RegistryKeys = RegistryTest;

TEST_F(RegistryKeys, StoreHiveIsCreatedOnTheFirstWriteOnly) {
  RegKey key = 0;
  EXPECT_EQ(registry->RegOpenKeyExA(kHkeyLocalMachine, "SOFTWARE\\Ravlin", 0, kKeyQueryValue, key),
            kErrorFileNotFound);
  EXPECT_EQ(registry->RegOpenKeyExA(kHkeyLocalMachine, "", 0, kKeyEnumerateSubKeys, key), 0);
  std::string name;
  EXPECT_EQ(registry->RegEnumKeyA(key, 0, name, 2048), kErrorNoMoreItems);
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_FALSE(std::filesystem::exists(store / "HKLM.hiv"));

  std::uint32_t disposition = 0;
  ASSERT_EQ(registry->RegCreateKeyExA(kHkeyLocalMachine, "SOFTWARE\\Ravlin", "", 0, kKeyAllAccess,
                                      key, &disposition),
            0);
  EXPECT_EQ(disposition, 1u);
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  ASSERT_TRUE(std::filesystem::exists(store / "HKLM.hiv"));
  EXPECT_NE(ExportHive(store / "HKLM.hiv").find("[HKEY_LOCAL_MACHINE\\TEST\\SOFTWARE\\Ravlin]"),
            std::string::npos);

  ASSERT_EQ(registry->RegCreateKeyExA(kHkeyLocalMachine, "software\\RAVLIN", "", 0, kKeyAllAccess,
                                      key, &disposition),
            0);
  EXPECT_EQ(disposition, 2u) << "names are compared ignoring case";
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_FALSE(std::filesystem::exists(store / "HKCU.hiv"));
}

TEST_F(RegistryKeys, EnumeratesInHiveOrderWithTheCallersBufferLimit) {
  for (const char* name : {"Beta", "alpha", "Gamma12"})
    registry->RegCloseKey(Create(kHkeyCurrentUser, std::string("Keys\\") + name));
  RegKey key = 0;
  ASSERT_EQ(registry->RegOpenKeyExA(kHkeyCurrentUser, "Keys", 0, kKeyEnumerateSubKeys, key), 0);
  std::vector<std::string> names;
  std::string name;
  std::uint32_t index = 0;
  for (; registry->RegEnumKeyA(key, index, name, 2048) == 0; ++index) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "Gamma12"}));
  EXPECT_EQ(registry->RegEnumKeyA(key, 3, name, 2048), kErrorNoMoreItems);
  // "Gamma12" and its NUL need 8 bytes.
  EXPECT_EQ(registry->RegEnumKeyA(key, 2, name, 7), kErrorMoreData);
  EXPECT_EQ(registry->RegEnumKeyA(key, 2, name, 8), 0);
  EXPECT_EQ(name, "Gamma12");
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_EQ(registry->RegCloseKey(key), kErrorInvalidHandle);
}

TEST_F(RegistryKeys, AnsiNamesAndTextsCrossAsWindows1252AndAreStoredAsUtf16) {
  // "Bär" and "café €5" in Windows-1252.
  const RegKey key = Create(kHkeyLocalMachine, "Test\\B\xE4r");
  ASSERT_EQ(SetString(key, "Caf\xE9",
                      "caf\xE9 \x80"
                      "5"),
            0);
  ASSERT_EQ(registry->RegCloseKey(key), 0);

  RegKey again = 0;
  ASSERT_EQ(registry->RegOpenKeyExA(kHkeyLocalMachine, "TEST\\B\xC4R", 0, kKeyQueryValue, again),
            0);
  std::vector<std::uint8_t> data;
  std::uint32_t type = 0;
  ASSERT_EQ(Query(again, "CAF\xC9", data, &type), 0);
  EXPECT_EQ(type, kRegSz);
  // Read back in the ANSI code page, UTF-8.
  EXPECT_EQ(data, Bytes(std::string("café €5") + '\0'));
  EXPECT_EQ(registry->RegCloseKey(again), 0);

  const auto exported = ExportHive(store / "HKLM.hiv");
  EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\TEST\\Test\\Bär]\n"
                          "\"Café\"=hex(1):63,00,61,00,66,00,e9,00,20,00,ac,20,35,00,00,00\n"),
            std::string::npos)
      << exported;
}

TEST_F(RegistryKeys, QueryFollowsTheSizeContract) {
  const RegKey key = Create(kHkeyLocalMachine, "Values");
  ASSERT_EQ(SetString(key, "Text", "abc"), 0);
  const std::uint32_t number = 0xFFFFFFFF;
  ASSERT_EQ(registry->RegSetValueExA(key, "Number", kRegDword,
                                     reinterpret_cast<const std::uint8_t*>(&number), 4),
            0);
  ASSERT_EQ(registry->RegSetValueExA(key, "Empty", kRegSz, nullptr, 0), 0);
  const std::uint8_t two[] = {0xFF, 0xFF};
  ASSERT_EQ(registry->RegSetValueExA(key, "Flag", kRegBinary, two, 2), 0);

  std::uint8_t buffer[8] = {};
  std::uint32_t size = 0;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Text", nullptr, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 4u) << "ANSI bytes with the NUL";
  size = 4;
  EXPECT_EQ(registry->RegQueryValueExA(key, "text", nullptr, buffer, &size), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), std::string("abc\0", 4));

  size = 0;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Empty", nullptr, buffer, &size), 0);
  EXPECT_EQ(size, 0u);

  std::uint32_t dword = 0;
  size = 4;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Number", nullptr,
                                       reinterpret_cast<std::uint8_t*>(&dword), &size),
            0);
  EXPECT_EQ(dword, 0xFFFFFFFFu);
  std::uint8_t flag[4] = {};
  size = 4;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Flag", nullptr, flag, &size), 0);
  EXPECT_EQ(size, 2u);
  size = 1;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Number", nullptr, flag, &size), kErrorMoreData);
  EXPECT_EQ(size, 4u);
  size = 4;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Missing", nullptr, flag, &size), kErrorFileNotFound);
  EXPECT_EQ(registry->RegCloseKey(key), 0);
}

TEST_F(RegistryKeys, ValuesKeepTheirSpellingAndEachKeyItsAccessRights) {
  RegKey key = Create(kHkeyLocalMachine, "Values");
  ASSERT_EQ(SetString(key, "Start", "1"), 0);
  ASSERT_EQ(SetString(key, "START", "2"), 0);
  EXPECT_EQ(registry->RegDeleteValueA(key, "missing"), kErrorFileNotFound);
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  const auto exported = ExportHive(store / "HKLM.hiv");
  EXPECT_NE(exported.find("\"Start\"=hex(1):32,00,00,00\n"), std::string::npos) << exported;
  EXPECT_EQ(exported.find("START"), std::string::npos) << exported;

  ASSERT_EQ(registry->RegOpenKeyExA(kHkeyLocalMachine, "Values", 0, kKeyQueryValue, key), 0);
  EXPECT_EQ(SetString(key, "Other", "x"), kErrorAccessDenied);
  std::string name;
  EXPECT_EQ(registry->RegEnumKeyA(key, 0, name, 2048), kErrorAccessDenied);
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_EQ(SetString(0x1234, "Other", "x"), kErrorInvalidHandle);
}

TEST_F(RegistryKeys, ChangesReachTheFileOnceWhenTheLastKeyOfTheHiveCloses) {
  registry->RegCloseKey(Create(kHkeyLocalMachine, "Base"));
  const auto before = ReadFile(store / "HKLM.hiv");
  const RegKey outer = Create(kHkeyLocalMachine, "Base\\Outer");
  const RegKey inner = Create(outer, "Inner");
  ASSERT_EQ(SetString(inner, "Value", "text"), 0);
  ASSERT_EQ(registry->RegCloseKey(inner), 0);
  EXPECT_EQ(ReadFile(store / "HKLM.hiv"), before) << "one key of the hive is still open";

  // Another process (here another registry object) sees the last committed state only.
  auto other = NewRegistry();
  RegKey seen = 0;
  EXPECT_EQ(other->RegOpenKeyExA(kHkeyLocalMachine, "Base\\Outer", 0, kKeyQueryValue, seen),
            kErrorFileNotFound);

  ASSERT_EQ(registry->RegFlushKey(outer), 0);
  EXPECT_NE(ReadFile(store / "HKLM.hiv"), before);
  ASSERT_EQ(registry->RegCloseKey(outer), 0);
  ASSERT_EQ(other->RegOpenKeyExA(kHkeyLocalMachine, "Base\\Outer\\Inner", 0, kKeyQueryValue, seen),
            0);
  EXPECT_EQ(other->RegCloseKey(seen), 0);
  for (const auto& entry : std::filesystem::directory_iterator(store))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
        << "no temporary file is left behind";
}

TEST_F(RegistryKeys, AStoreReachedThroughALinkIsWritten) {
  std::filesystem::create_directories(dir / "real-store");
  std::filesystem::create_directory_symlink(dir / "real-store", dir / "linked-store");
  store = dir / "linked-store";
  registry = NewRegistry();
  const RegKey key = Create(kHkeyCurrentUser, "Software");
  ASSERT_EQ(SetString(key, "Name", "value"), 0);
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_NE(ExportHive(dir / "real-store" / "HKCU.hiv").find("\"Name\""), std::string::npos);
}

TEST_F(RegistryKeys, AWriteOverAnotherProcesssCommitIsRefusedAndLosesNothing) {
  registry->RegCloseKey(Create(kHkeyLocalMachine, "Shared"));
  auto other = NewRegistry();
  const RegKey mine = Create(kHkeyLocalMachine, "Shared");
  RegKey theirs = 0;
  ASSERT_EQ(other->RegOpenKeyExA(kHkeyLocalMachine, "Shared", 0, kKeyAllAccess, theirs), 0);
  ASSERT_EQ(SetString(mine, "Mine", "1"), 0);
  ASSERT_EQ(registry->RegCloseKey(mine), 0);
  const std::string data("2", 2);
  ASSERT_EQ(other->RegSetValueExA(theirs, "Theirs", kRegSz,
                                  reinterpret_cast<const std::uint8_t*>(data.data()), 2),
            0);
  EXPECT_EQ(other->RegCloseKey(theirs), kErrorRegistryIoFailed);
  const auto exported = ExportHive(store / "HKLM.hiv");
  EXPECT_NE(exported.find("\"Mine\""), std::string::npos);
  EXPECT_EQ(exported.find("\"Theirs\""), std::string::npos);
}

TEST_F(RegistryKeys, DeletedTreeLeavesItsHandlesReachingNothing) {
  const RegKey child = Create(kHkeyLocalMachine, "Tree\\Branch\\Leaf");
  const RegKey sibling = Create(kHkeyLocalMachine, "Tree\\Other");
  ASSERT_EQ(registry->RegDeleteTreeA(kHkeyLocalMachine, "tree\\branch"), 0);
  EXPECT_EQ(SetString(child, "Value", "x"), kErrorKeyDeleted);
  EXPECT_EQ(SetString(sibling, "Value", "x"), 0);
  EXPECT_EQ(registry->RegCloseKey(child), 0);
  EXPECT_EQ(registry->RegCloseKey(sibling), 0);
  RegKey key = 0;
  EXPECT_EQ(registry->RegOpenKeyExA(kHkeyLocalMachine, "Tree\\Branch", 0, kKeyQueryValue, key),
            kErrorFileNotFound);
  EXPECT_EQ(registry->RegDeleteTreeA(kHkeyLocalMachine, "Tree\\Branch"), kErrorFileNotFound);
}

TEST_F(RegistryKeys, ValueTypesBeyondTheKnownOnesAreReadAndKeptAsNumbers) {
  // Real hives hold such types; the number must come through unchanged, and writing another
  // value of the key must keep it.
  MakeGuestHive({{"Odd", {{"Custom", 2305, {1, 2, 3}}, {"Huge", 0xFFFFFFFC, {4}}}}});
  EnablePrivileges();
  ASSERT_EQ(registry->RegLoadKeyA(kHkeyLocalMachine, "Guest", kGuestHiveText), 0);
  RegKey key = 0;
  ASSERT_EQ(registry->RegOpenKeyExA(kHkeyLocalMachine, "Guest\\Odd", 0, kKeyAllAccess, key), 0);
  std::vector<std::uint8_t> data;
  std::uint32_t type = 0;
  ASSERT_EQ(Query(key, "Custom", data, &type), 0);
  EXPECT_EQ(type, 2305u);
  EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 3}));
  ASSERT_EQ(SetString(key, "Added", "x"), 0);
  ASSERT_EQ(Query(key, "Huge", data, &type), 0);
  EXPECT_EQ(type, 0xFFFFFFFCu);
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  EXPECT_EQ(registry->RegUnLoadKeyA(kHkeyLocalMachine, "Guest"), 0);
}

}  // namespace
}  // namespace ravlin::testing

#include "system/modRegistry.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.hpp"
#include "system/modLoadReg.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using modRegistry::RegEnumSubKeys;
using modRegistry::RegReadValue;
using modRegistry::RegWriteValue;
using modRegistry::RootKeyFromName;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Runs in another folder for the life of the object.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;
  ~ScopedCurrentFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

// Bytes as the registry-file export writes them: "47,00,72,00".
std::string HexList(const std::vector<std::uint8_t>& bytes) {
  std::string list;
  char digits[4];
  for (const auto byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    list += (list.empty() ? "" : ",") + std::string(digits);
  }
  return list;
}

// The real Linux backend on a temporary drive C: and a temporary registry store.
class RegistryModule : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(drive_);
    PlatformOptions options;
    options.drives = "C=" + drive_.string();
    options.registryStore = temp_ / "store";
    options.programFolder = temp_.path();
    platform_ = MakePlatform(ui_, options);
  }

  // Mounts a hive file of drive C: below HKLM, as the repair does.
  void Mount(const std::string& name, const std::string& windowsPath) {
    modLoadReg privileges(platform_, "Ravlin");
    privileges.EnablePrivileges();
    ASSERT_TRUE(ui_->boxes.empty());
    ASSERT_EQ(platform_.registry->RegLoadKeyA(kHkeyLocalMachine, name, windowsPath), 0);
  }

  std::int32_t Enum(const std::string& root, const std::string& path, std::string& list) {
    return RegEnumSubKeys(platform_, root, path, list);
  }

  // A value's type and bytes as the registry holds them, read around the module.
  std::pair<std::uint32_t, std::vector<std::uint8_t>> RawValue(const std::string& path,
                                                               const std::string& name) {
    RegKey key = 0;
    EXPECT_EQ(platform_.registry->RegOpenKeyExA(kHkeyLocalMachine, path, 0, kKeyQueryValue, key),
              0);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data(64);
    auto size = static_cast<std::uint32_t>(data.size());
    const auto status = platform_.registry->RegQueryValueExA(key, name, &type, data.data(), &size);
    platform_.registry->RegCloseKey(key);
    if (status != 0) return {0, {}};
    data.resize(size);
    return {type, data};
  }

  // A new test hive at a path of drive C:.
  void MakeGuestHive(const fs::path& relative, const std::vector<testing::TestKey>& keys) {
    fs::create_directories((drive_ / relative).parent_path());
    testing::MakeTestHive(drive_ / relative, keys);
  }

  TempDir temp_;
  fs::path drive_ = temp_ / "c";
  std::shared_ptr<testing::ScriptedUi> ui_ = std::make_shared<testing::ScriptedUi>();
  Platform platform_;
};

TEST_F(RegistryModule, RootNamesIgnoreCaseButNotBlanksAndFilesSelectSettingsMode) {
  EXPECT_EQ(RootKeyFromName(platform_, "hkcu"), 0x80000001u);
  EXPECT_EQ(RootKeyFromName(platform_, "HKCR"), 0x80000000u);
  EXPECT_EQ(RootKeyFromName(platform_, "HkLm"), 0x80000002u);
  EXPECT_EQ(RootKeyFromName(platform_, "hku"), 0x80000003u);
  EXPECT_EQ(RootKeyFromName(platform_, "HKCC"), 0x80000005u);
  EXPECT_EQ(RootKeyFromName(platform_, "hkdd"), 0x80000006u);
  EXPECT_EQ(RootKeyFromName(platform_, "HKPD"), 0u);
  EXPECT_EQ(RootKeyFromName(platform_, " HKLM"), 0u);
  EXPECT_EQ(RootKeyFromName(platform_, ""), 0u);

  WriteFile(drive_ / "cfg" / "app.ini", "[Main]\r\n");
  WriteFile(drive_ / "cfg" / ".hidden.ini", "[Main]\r\n");
  EXPECT_EQ(RootKeyFromName(platform_, "C:\\cfg\\app.ini"), 1u);
  EXPECT_EQ(RootKeyFromName(platform_, "C:\\cfg\\a*.ini"), 1u);
  EXPECT_EQ(RootKeyFromName(platform_, "C:\\cfg\\missing.ini"), 0u);
  EXPECT_EQ(RootKeyFromName(platform_, "C:\\cfg"), 0u);
  EXPECT_EQ(RootKeyFromName(platform_, "C:\\cfg\\.hidden.ini"), 0u);

  // The long name is no root name: only a file of that name in the current folder counts.
  ScopedCurrentFolder inside(drive_ / "cfg");
  EXPECT_EQ(RootKeyFromName(platform_, "HKEY_LOCAL_MACHINE"), 0u);
  WriteFile(drive_ / "cfg" / "HKEY_LOCAL_MACHINE", "");
  EXPECT_EQ(RootKeyFromName(platform_, "HKEY_LOCAL_MACHINE"), 1u);
}

TEST_F(RegistryModule, SubKeyListIsAppendedNulSeparatedWithAClosingNul) {
  ASSERT_EQ(RegWriteValue(platform_, "HKLM", "Software\\RavlinTest\\B", "", "X", 0), 0);
  ASSERT_EQ(RegWriteValue(platform_, "hklm", "Software\\RavlinTest\\A", "", "X", 0), 0);

  std::string list;
  EXPECT_EQ(Enum("HKLM", "Software\\RavlinTest", list), 0);
  EXPECT_EQ(list, "A\0B\0\0"s);
  list = "X";
  EXPECT_EQ(Enum("HKLM", "Software\\RavlinTest", list), 0);
  EXPECT_EQ(list, "XA\0B\0\0"s);

  // Without subkeys: two NULs into an empty variable, but only one after earlier text.
  list.clear();
  EXPECT_EQ(Enum("HKLM", "Software\\RavlinTest\\A", list), 0);
  EXPECT_EQ(list, "\0\0"s);
  list = "X";
  EXPECT_EQ(Enum("HKLM", "Software\\RavlinTest\\A", list), 0);
  EXPECT_EQ(list, "X\0"s);

  // Failures leave the list as it was.
  list = "keep";
  EXPECT_EQ(Enum("HKLM", "Software\\RavlinTest\\Missing", list), kErrorFileNotFound);
  EXPECT_EQ(Enum("HKXX", "Software", list), 99);
  WriteFile(drive_ / "app.ini", "[Software]\r\nA=1\r\n");
  EXPECT_NE(Enum("C:\\app.ini", "Software", list), 0);
  EXPECT_EQ(list, "keep");
}

TEST_F(RegistryModule, SubKeysOfAMountedHiveDropLeadingBlanksAndComeInTheAnsiCodePage) {
  MakeGuestHive("guest/system", {{"  Spaced", {}}, {"Caf\u00e9", {}}, {"ControlSet001\\Enum", {}}});
  Mount("Ravlin_Test", "C:\\guest\\system");
  std::string list;
  EXPECT_EQ(Enum("HKLM", "Ravlin_Test", list), 0);
  EXPECT_EQ(list, "Spaced\0Café\0ControlSet001\0\0"s);
  EXPECT_EQ(platform_.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_Test"), 0);
}

TEST_F(RegistryModule, EnumeratesTheLargeIndexOfARealWindowsHive) {
  testing::DecompressTestHive("win7-system", drive_ / "win7" / "system");
  Mount("Ravlin_Win7", "C:\\win7\\system");
  std::string list;
  ASSERT_EQ(Enum("HKLM", "Ravlin_Win7\\ControlSet001\\Control\\CriticalDeviceDatabase", list), 0);
  std::size_t names = 0;
  for (std::size_t start = 0; list[start] != '\0'; start = list.find('\0', start) + 1) ++names;
  EXPECT_EQ(names, 2548u);
  list.clear();
  EXPECT_EQ(Enum("HKLM", "Ravlin_Win7", list), 0);
  EXPECT_NE(list.find("\0ControlSet002\0"s), std::string::npos);
  EXPECT_EQ(platform_.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_Win7"), 0);
}

TEST_F(RegistryModule, ReadsEachLetterFromRealValuesAndKeepsTheDefaultOnEveryFailure) {
  const std::vector<std::uint8_t> eightBytes{1, 2, 3, 4, 5, 6, 7, 8};
  MakeGuestHive(
      "guest/system",
      {{"Values",
        {testing::SzValue("Text", "Gr\u00fc\u00dfe \u20ac"),
         testing::TestValue{"EmptySz", kRegSz, {}},
         testing::TestValue{"Unterminated", kRegSz, Utf16Bytes(u"abc")},
         testing::DwordValue("Minus", 0xFFFFFFFF), testing::BinaryValue("Short", {0x34, 0x12}),
         testing::BinaryValue("One", {0x01}), testing::BinaryValue("Zero", {0x00, 0x00}),
         testing::BinaryValue("Long", eightBytes)}}});
  Mount("Ravlin_Test", "C:\\guest\\system");
  const std::string key = "Ravlin_Test\\Values";
  const Variant fallback = "default"s;
  Variant result;

  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Text", "S", fallback, result), 0);
  EXPECT_EQ(result, Variant("Grüße €"s));
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "text", "s", fallback, result), 0);
  EXPECT_EQ(result, Variant("Grüße €"s));
  // A string without any data bytes keeps the default.
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "EmptySz", "S", fallback, result), 0);
  EXPECT_EQ(result, fallback);
  // Stored without its terminating NUL, the text still comes back whole.
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Unterminated", "S", fallback, result), 0);
  EXPECT_EQ(result, Variant("abc"s));

  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Minus", "D", fallback, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{-1}));
  // Shorter data fill the low-order bytes.
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Short", "d", fallback, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{0x1234}));
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "One", "D", fallback, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{1}));
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "One", "B", fallback, result), 0);
  EXPECT_EQ(result, Variant(true));
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Zero", "b", fallback, result), 0);
  EXPECT_EQ(result, Variant(false));
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Minus", "B", fallback, result), kErrorMoreData);
  EXPECT_EQ(result, fallback);
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Long", "D", fallback, result), kErrorMoreData);
  EXPECT_EQ(result, fallback);

  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Missing", "S", fallback, result),
            kErrorFileNotFound);
  EXPECT_EQ(result, fallback);
  EXPECT_EQ(RegReadValue(platform_, "HKLM", "Ravlin_Test\\Nothing", "Text", "S", fallback, result),
            kErrorFileNotFound);
  EXPECT_EQ(result, fallback);
  EXPECT_EQ(RegReadValue(platform_, "HKXX", key, "Text", "S", fallback, result), 99);
  EXPECT_EQ(result, fallback);
  // Another letter reads nothing and succeeds.
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Text", "Q", fallback, result), 0);
  EXPECT_EQ(result, fallback);
  EXPECT_EQ(platform_.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_Test"), 0);
}

TEST_F(RegistryModule, WritesEachLetterInTheFormWindowsStoresAndCreatesMissingKeys) {
  const std::string key = "Software\\Ravlin\\Written";
  const std::string text = "Grüße € \"quoted\" 100%";
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", key, "Text", "S", text), 0);
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", key, "Minus", "D", std::int32_t{-1}), 0);
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", key, "Number", "d", "12"s), 0);
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", key, "Yes", "B", true), 0);
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", key, "No", "b", std::int16_t{0}), 0);

  Variant result;
  EXPECT_EQ(RegReadValue(platform_, "HKLM", key, "Text", "S", ""s, result), 0);
  EXPECT_EQ(result, Variant(text));
  EXPECT_EQ(RawValue(key, "Minus"), (std::pair<std::uint32_t, std::vector<std::uint8_t>>{
                                        kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}}));
  EXPECT_EQ(RawValue(key, "Number"),
            (std::pair<std::uint32_t, std::vector<std::uint8_t>>{kRegDword, {12, 0, 0, 0}}));
  EXPECT_EQ(RawValue(key, "Yes"),
            (std::pair<std::uint32_t, std::vector<std::uint8_t>>{kRegBinary, {0xFF, 0xFF}}));
  EXPECT_EQ(RawValue(key, "No"),
            (std::pair<std::uint32_t, std::vector<std::uint8_t>>{kRegBinary, {0x00, 0x00}}));

  // 40000 does not fit the 16-bit conversion: nothing written, the status of the creation.
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", key, "TooBig", "D", std::int32_t{40000}), 0);
  EXPECT_EQ(RawValue(key, "TooBig").first, 0u);
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", key, "NotAFlag", "B", "maybe"s), 0);
  EXPECT_EQ(RawValue(key, "NotAFlag").first, 0u);

  // Another letter writes nothing but still creates the key path.
  std::string list;
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", "Software\\Ravlin\\New\\Deep", "V", "Z", 1), 0);
  EXPECT_EQ(Enum("HKLM", "Software\\Ravlin\\New\\Deep", list), 0);
  EXPECT_EQ(RawValue("Software\\Ravlin\\New\\Deep", "V").first, 0u);
  EXPECT_EQ(RegWriteValue(platform_, "HKXX", key, "Text", "S", text), 99);

  // An independent reader finds the text, stored as UTF-16LE with its NUL, in the store's
  // hive file.
  const std::string exported = testing::ExportHive(temp_ / "store" / "HKLM.hiv");
  EXPECT_NE(exported.find("\"Text\"=hex(1):" +
                          HexList(Utf16Bytes(u"Gr\u00fc\u00dfe \u20ac \"quoted\" 100%"s + u'\0'))),
            std::string::npos)
      << exported;
}

TEST_F(RegistryModule, WritesBelowAMountLandInTheGuestHiveFile) {
  MakeGuestHive("guest/system", {{"ControlSet001\\Services", {}}});
  Mount("Ravlin_System", "C:\\guest\\system");
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", "Ravlin_System\\ControlSet001\\Services\\atapi",
                          "Start", "D", std::int32_t{0}),
            0);
  EXPECT_EQ(RegWriteValue(platform_, "HKLM", "Ravlin_System\\ControlSet001\\Services\\atapi",
                          "Group", "S", "SCSI miniport"s),
            0);
  EXPECT_EQ(platform_.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 0);
  const std::string exported = testing::ExportHive(drive_ / "guest" / "system");
  EXPECT_NE(exported.find("\\ControlSet001\\Services\\atapi]"), std::string::npos) << exported;
  EXPECT_NE(exported.find("\"Group\"=hex(1):" + HexList(Utf16Bytes(u"SCSI miniport"s + u'\0'))),
            std::string::npos)
      << exported;
  EXPECT_NE(exported.find("\"Start\"=dword:00000000"), std::string::npos) << exported;
}

TEST_F(RegistryModule, SettingsFileModeReadsAndWritesEntriesByWindowsRules) {
  const std::string original =
      "; settings\r\n[Main]\r\nName = \"  quoted value  \"\r\nCount=42abc\r\nNeg= -17\r\n"
      "Hex=0x1A\r\nEmpty=\r\nLong=" +
      std::string(300, 'x') + "\r\n\r\n[Other]\r\nName=other\r\n";
  WriteFile(drive_ / "cfg" / "app.ini", original);
  const std::string file = "C:\\cfg\\app.ini";
  Variant result;

  EXPECT_EQ(RegReadValue(platform_, file, "main", "NAME", "S", "def"s, result), 0);
  EXPECT_EQ(result, Variant("  quoted value  "s));
  EXPECT_EQ(RegReadValue(platform_, file, "Main", "Long", "S", "def"s, result), 0);
  EXPECT_EQ(result, Variant(std::string(254, 'x')));
  EXPECT_EQ(RegReadValue(platform_, file, "Main", "Missing", "S", std::int32_t{7}, result), 0);
  EXPECT_EQ(result, Variant("7"s));
  EXPECT_EQ(RegReadValue(platform_, file, "Main", "Count", "D", "def"s, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{42}));
  EXPECT_EQ(RegReadValue(platform_, file, "Main", "Neg", "B", "def"s, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{-17}));
  EXPECT_EQ(RegReadValue(platform_, file, "Main", "Hex", "D", "def"s, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{26}));
  // A missing or empty entry reads as 0, whatever the default.
  EXPECT_EQ(RegReadValue(platform_, file, "Main", "Missing", "D", std::int32_t{5}, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{0}));
  EXPECT_EQ(RegReadValue(platform_, file, "Main", "Empty", "D", std::int32_t{5}, result), 0);
  EXPECT_EQ(result, Variant(std::int32_t{0}));

  // Only text is written; any other letter leaves the file untouched.
  EXPECT_EQ(RegWriteValue(platform_, file, "Main", "Count", "D", std::int32_t{1}), 99);
  EXPECT_EQ(ReadFile(drive_ / "cfg" / "app.ini"), original);
  EXPECT_EQ(RegWriteValue(platform_, file, "OTHER", "name", "S", std::int32_t{12}), 0);
  EXPECT_EQ(RegWriteValue(platform_, file, "New", "Entry", "S", "v"s), 0);
  std::string expected = original;
  expected.replace(expected.find("Name=other"), 10, "Name=12");
  expected += "\r\n[New]\r\nEntry=v\r\n";
  EXPECT_EQ(ReadFile(drive_ / "cfg" / "app.ini"), expected);

  // A pattern selects settings mode but names no file to write.
  EXPECT_EQ(RegWriteValue(platform_, "C:\\cfg\\*.ini", "Main", "Name", "S", "x"s), 0);
  EXPECT_FALSE(fs::exists(drive_ / "cfg" / "*.ini"));
  EXPECT_EQ(ReadFile(drive_ / "cfg" / "app.ini"), expected);
}

}  // namespace
}  // namespace ravlin

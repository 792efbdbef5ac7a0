// The importer as the repair runs it: a real regedit process writing through the registry
// layer into a guest hive mounted at HKLM\Ravlin_System, its result compared with what
// hivexregedit makes of the same file on a copy of the same hive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.hpp"
#include "tests/platform/registry_fixture.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {
namespace {

namespace fs = std::filesystem;

// The body of each registry file, in the text both programs read; "@EXPAND@" and "@MULTI@"
// stand for the hex bytes of a REG_EXPAND_SZ and a REG_MULTI_SZ value, which the two formats
// write differently.
struct RegCase {
  std::string name;
  std::string body;
};

const std::string kPrefix = "HKEY_LOCAL_MACHINE\\Ravlin_System";

std::vector<RegCase> Cases() {
  const std::string cs = "[" + kPrefix + "\\ControlSet001";
  return {
      {"strings", cs + "\\Services\\atapi]\r\n"
                       "@=\"Standard IDE/ESDI Hard Disk Controller\"\r\n"
                       "\"ImagePath\"=\"system32\\\\DRIVERS\\\\atapi.sys\"\r\n"
                       "\"Quoted\"=\"say \\\"caf\xE9\\\"\"\r\n"
                       "\"Empty\"=\"\"\r\n"
                       "\"Group\"=\"SCSI miniport\"\r\n"},
      {"numbers", cs + "\\Services\\atapi]\r\n"
                       "\"Start\"=dword:00000000\r\n"
                       "\"Type\"=dword:00000001\r\n"
                       "\"Max\"=dword:ffffffff\r\n"
                       "\"ErrorControl\"=dword:00000001\r\n"},
      {"binary",
       cs + "\\Services\\atapi]\r\n"
            "\"Blob\"=hex:00,01,7f,80,ff\r\n"
            "\"Nothing\"=hex:\r\n"
            "\"Long\"=hex:00,11,22,33,44,55,66,77,88,99,aa,bb,cc,dd,ee,ff,00,11,22,33,44,55,\\\r\n"
            "  66,77,88,99,aa,bb,cc,dd,ee,ff\r\n"},
      {"typed", cs + "\\Services\\atapi]\r\n"
                     "\"Expand\"=hex(2):@EXPAND@\r\n"
                     "\"Multi\"=hex(7):@MULTI@\r\n"
                     "\"Qword\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                     "\"None\"=hex(0):aa,bb\r\n"
                     "\"Link\"=hex(6):5c,00,3f,00\r\n"
                     "\"Odd\"=hex(4e):01\r\n"},
      {"deletions", cs +
                        "\\Services\\Existing]\r\n"
                        "\"Stays\"=dword:00000002\r\n"
                        "\"Gone\"=-\r\n"
                        "@=-\r\n"
                        "\"Replaced\"=\"new text\"\r\n"
                        "\r\n"
                        "[-" +
                        kPrefix +
                        "\\ControlSet001\\Services\\Old]\r\n"
                        "\r\n"
                        "[-" +
                        kPrefix + "\\ControlSet001\\Services\\NeverThere]\r\n"},
      {"layout",
       "; comments, blank lines and new keys below new keys\r\n"
       "\r\n" +
           cs +
           "\\Control\\CriticalDeviceDatabase]\r\n"
           "\r\n"
           "; the class of IDE controllers (hivexregedit ends a key at a comment)\r\n" +
           cs +
           "\\Control\\CriticalDeviceDatabase\\primary_ide_channel]\r\n"
           "\"ClassGUID\"=\"{4D36E96A-E325-11CE-BFC1-08002BE10318}\"\r\n"
           "\"Service\"=\"atapi\"\r\n"
           "\r\n" +
           cs +
           "\\Control\\CriticalDeviceDatabase\\secondary_ide_channel]\r\n"
           "\"Service\"=\"atapi\"\r\n"},
  };
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// REG_EXPAND_SZ "%SystemRoot%\é" and REG_MULTI_SZ "a", "bc": as UTF-16LE bytes in files of
// the Unicode format, as ANSI bytes in REGEDIT4 files.
const std::string kExpandUnicode =
    "25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,e9,00,00,00";
const std::string kExpandAnsi = "25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,e9,00";
const std::string kMultiUnicode = "61,00,00,00,62,00,63,00,00,00,00,00";
const std::string kMultiAnsi = "61,00,62,63,00,00";

// The file as hivexregedit reads it: bytes, whose strings it stores as UTF-16LE.
std::string UnicodeText(const RegCase& item) {
  return "Windows Registry Editor Version 5.00\r\n\r\n" +
         Replace(Replace(item.body, "@EXPAND@", kExpandUnicode), "@MULTI@", kMultiUnicode);
}

// The same file as Windows' editor exports it: UTF-16LE with its byte order mark.
std::string Utf16File(const std::string& latin1) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : AnsiToUtf16(latin1)) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// The same file in the older ANSI format, line ends LF only.
std::string AnsiFile(const RegCase& item) {
  auto text = "REGEDIT4\r\n\r\n" +
              Replace(Replace(item.body, "@EXPAND@", kExpandAnsi), "@MULTI@", kMultiAnsi);
  return Replace(text, "\r\n", "\n");
}

// hivexregedit's export as key -> its value lines, sorted: the two programs may store values
// of a key in different orders.
std::map<std::string, std::vector<std::string>> Normalized(const std::string& exported) {
  std::map<std::string, std::vector<std::string>> keys;
  std::string joined = Replace(exported, "\\\n", "");
  std::istringstream lines(joined);
  std::string line;
  std::string key;
  while (std::getline(lines, line)) {
    line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
    if (line.empty() || line.starts_with("WindowsRegistryEditor")) continue;
    if (line.front() == '[') {
      key = line;
      keys[key];
    } else {
      keys[key].push_back(line);
    }
  }
  for (auto& [name, values] : keys) std::sort(values.begin(), values.end());
  return keys;
}

std::vector<TestKey> BaseKeys() {
  return {
      {"Select", {DwordValue("Current", 1), DwordValue("Default", 1)}},
      {"ControlSet001\\Services\\Existing",
       {SzValue("", "old default"), DwordValue("Stays", 1), SzValue("Gone", "x"),
        SzValue("Replaced", "old text")}},
      {"ControlSet001\\Services\\Old\\Child\\Grandchild", {DwordValue("Deep", 7)}},
      {"ControlSet001\\Control", {}},
      {"ControlSet002\\Services", {}},
  };
}

class RegeditImportTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    EnablePrivileges();
    MakeTestHive(dir / "base.hive", BaseKeys());
  }

  // Mounts a fresh copy of the base hive as the guest's, as the repair does.
  void MountFreshGuest() {
    fs::create_directories(GuestHivePath().parent_path());
    fs::copy_file(dir / "base.hive", GuestHivePath(), fs::copy_options::overwrite_existing);
    ASSERT_EQ(registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", kGuestHiveText), 0);
  }
  void Unmount() { ASSERT_EQ(registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 0); }

  ProgramResult RunRegedit(const std::vector<std::string>& arguments) {
    ProgramRun run;
    run.arguments.push_back(BinPath("regedit").string());
    run.arguments.insert(run.arguments.end(), arguments.begin(), arguments.end());
    run.environment["RAVLIN_REGISTRY"] = store.string();
    run.environment["RAVLIN_DRIVES"] = "C=" + drive.string();
    return RunProgram(run);
  }

  // What hivexregedit makes of the file on a fresh copy of the base hive.
  std::string HivexResult(const std::string& fileText) {
    const auto hive = dir / "hivex.hive";
    const auto file = dir / "hivex.reg";
    fs::copy_file(dir / "base.hive", hive, fs::copy_options::overwrite_existing);
    WriteFile(file, fileText);
    ProgramRun run;
    run.arguments = {"/usr/bin/hivexregedit", "--merge",    "--prefix", kPrefix,
                     hive.string(),           file.string()};
    const ProgramResult merged = RunProgram(run);
    EXPECT_EQ(merged.exitCode, 0) << merged.err;
    return ExportHive(hive);
  }

  // What our importer makes of the file on a fresh guest hive.
  std::string OurResult(const std::string& fileBytes) {
    const auto file = dir / "ours.reg";
    WriteFile(file, fileBytes);
    MountFreshGuest();
    const auto result = RunRegedit({"/s", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    Unmount();
    return ExportHive(GuestHivePath());
  }
};

TEST_F(RegeditImportTest, MatchesHivexOnEveryValueForm) {
  std::string everything = "Windows Registry Editor Version 5.00\r\n";
  std::string everythingAnsi = "REGEDIT4\n";
  for (const auto& item : Cases()) {
    SCOPED_TRACE(item.name);
    const auto expected = Normalized(HivexResult(UnicodeText(item)));
    ASSERT_NE(expected, Normalized(ExportHive(dir / "base.hive"))) << "the file changes nothing";
    EXPECT_EQ(Normalized(OurResult(Utf16File(UnicodeText(item)))), expected) << "Unicode file";
    EXPECT_EQ(Normalized(OurResult(AnsiFile(item))), expected) << "REGEDIT4 file";
    everything += "\r\n" + UnicodeText(item).substr(38);
    everythingAnsi += "\n" + AnsiFile(item).substr(9);
  }
  // All of them in one file: one import, one commit of the guest hive.
  SCOPED_TRACE("all in one file");
  const auto expected = Normalized(HivexResult(everything));
  EXPECT_EQ(Normalized(OurResult(Utf16File(everything))), expected);
  EXPECT_EQ(Normalized(OurResult(everythingAnsi)), expected);
}

TEST_F(RegeditImportTest, AFaultyFileLeavesTheHiveUntouched) {
  MountFreshGuest();
  const auto before = ReadFile(GuestHivePath());
  const auto folderBefore =
      std::distance(fs::directory_iterator(GuestHivePath().parent_path()), {});
  // Valid changes first, the fault on line 7: nothing of it may reach the hive.
  WriteFile(dir / "faulty.reg",
            "REGEDIT4\r\n\r\n[" + kPrefix +
                "\\ControlSet001\\Services\\atapi]\r\n\"Start\"=dword:00000000\r\n"
                "\r\n[-" +
                kPrefix +
                "\\ControlSet001\\Services\\Old]\r\n"
                "\"Start\"=dword:0000000g\r\n");
  const auto result = RunRegedit({"/s", (dir / "faulty.reg").string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "regedit: line 7: a value outside a key: a [key] line must come first\n");
  Unmount();
  EXPECT_EQ(ReadFile(GuestHivePath()), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(GuestHivePath().parent_path()), {}), folderBefore);
}

TEST_F(RegeditImportTest, AFileRefusedPartWayChangesNothing) {
  auto keys = BaseKeys();
  keys.push_back({"ControlSet001\\Services\\atapi",
                  {BinaryValue("Big", std::vector<std::uint8_t>(20000, 0xAB))}});
  MakeTestHive(dir / "base.hive", keys);
  MountFreshGuest();
  const auto before = ReadFile(GuestHivePath());
  // Two keys changed and one deleted before the refused value on line 9.
  WriteFile(dir / "partway.reg",
            "REGEDIT4\r\n\r\n[" + kPrefix +
                "\\ControlSet001\\Services\\intelide]\r\n\"Start\"=dword:00000000\r\n"
                "\r\n[-" +
                kPrefix + "\\ControlSet001\\Services\\Old]\r\n\r\n[" + kPrefix +
                "\\ControlSet001\\Services\\atapi]\r\n\"Start\"=dword:00000000\r\n");
  const auto result = RunRegedit({"/s", (dir / "partway.reg").string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "regedit: line 9: cannot write the value \"Start\": its key holds a value longer than "
            "16,344 bytes that Windows XP could no longer read once rewritten (status 50)\n");
  Unmount();
  EXPECT_EQ(ReadFile(GuestHivePath()), before);
}

TEST_F(RegeditImportTest, TakesTheRegistryEditorsCommandLine) {
  // The value written tells each run apart; HKCU lives in the store.
  const auto writeFile = [&](const std::string& name, int run) {
    WriteFile(drive / "regs" / name,
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ravlin]\r\n\"Run\"=dword:0000000" +
                  std::to_string(run) + "\r\n");
  };
  const auto runValue = [&] {
    auto reader = NewRegistry();
    RegKey key = 0;
    std::uint32_t value = 0, size = 4;
    if (reader->RegOpenKeyExA(kHkeyCurrentUser, "Software\\Ravlin", 0, kKeyQueryValue, key) != 0)
      return -1;
    const auto status = reader->RegQueryValueExA(key, "Run", nullptr,
                                                 reinterpret_cast<std::uint8_t*>(&value), &size);
    reader->RegCloseKey(key);
    return status == 0 ? static_cast<int>(value) : -1;
  };

  const std::vector<std::vector<std::string>> commandLines{
      {"/s", (drive / "regs" / "one.reg").string()},
      {"-s", (drive / "regs" / "two.reg").string()},
      {"/S", "\"" + (drive / "regs" / "three.reg").string() + "\""},
      {(drive / "regs" / "four.reg").string()},
      {"/s", "C:\\regs\\FIVE.REG"},  // a drive-letter path, found ignoring case
  };
  const std::vector<std::string> names{"one.reg", "two.reg", "three.reg", "four.reg", "five.reg"};
  for (int run = 1; run <= 5; ++run) {
    writeFile(names[run - 1], run);
    const auto result = RunRegedit(commandLines[run - 1]);
    EXPECT_EQ(result.exitCode, 0) << run << ": " << result.err;
    EXPECT_EQ(runValue(), run);
  }

  const auto unknown = RunRegedit({"/e", (drive / "regs" / "one.reg").string()});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("unknown switch /e"), std::string::npos) << unknown.err;
  const auto none = RunRegedit({"/s"});
  EXPECT_EQ(none.exitCode, 2);
  const auto missing = RunRegedit({"/s", (drive / "regs" / "absent.reg").string()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "regedit: cannot open " + (drive / "regs" / "absent.reg").string() + "\n");
  EXPECT_EQ(runValue(), 5);
}

}  // namespace
}  // namespace ravlin::testing

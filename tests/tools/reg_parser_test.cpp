#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/codepage.hpp"
#include "tools/regedit/reg_file.hpp"

namespace ravlin {
namespace {

using Kind = RegOperation::Kind;
using Bytes = std::vector<std::uint8_t>;

}  // namespace

void PrintTo(const RegOperation& operation, std::ostream* out) {
  *out << "{kind " << static_cast<int>(operation.kind) << ", line " << operation.line << ", root "
       << operation.root << ", path \"" << operation.path << "\", name \"" << operation.valueName
       << "\", type " << operation.type << ", data";
  for (const auto byte : operation.data) *out << ' ' << static_cast<int>(byte);
  *out << '}';
}

namespace {

Bytes BytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// The UTF-16LE file with its byte order mark, as Windows' editor exports.
Bytes Utf16File(const std::string& utf8) {
  Bytes bytes{0xFF, 0xFE};
  for (const char16_t c : Utf8ToUtf16(utf8)) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

Bytes Utf16Le(const std::u16string& text) {
  Bytes bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

RegOperation OpenKey(int line, RegKey root, const std::string& path) {
  return {Kind::kOpenKey, line, root, path, "", 0, {}};
}
RegOperation DeleteKey(int line, RegKey root, const std::string& path) {
  return {Kind::kDeleteKey, line, root, path, "", 0, {}};
}
RegOperation SetValue(int line, const std::string& name, std::uint32_t type, Bytes data) {
  return {Kind::kSetValue, line, 0, "", name, type, std::move(data)};
}
RegOperation DeleteValue(int line, const std::string& name) {
  return {Kind::kDeleteValue, line, 0, "", name, 0, {}};
}

// Every value form, with the body shared by both formats; only hex(2) and hex(7) differ,
// because REGEDIT4 writes their strings in the ANSI code page.
std::string Body(const std::string& expandBytes, const std::string& multiBytes) {
  return "; a comment line\r\n"
         "[HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001\\Services\\atapi]\r\n"
         "\"Start\"=dword:00000000\r\n"
         "@=\"default text\"\r\n"
         "\"Quoted \\\"name\\\"\"=\"C:\\\\WINDOWS\\\\system32\"\r\n"
         "\"Binary\"=hex:01,02,ff,\\\r\n"
         "  0a,0B\r\n"
         "\"Empty\"=hex:\r\n"
         "\"Expand\"=hex(2):" +
         expandBytes +
         "\r\n"
         "\"Multi\"=hex(7):" +
         multiBytes +
         "\r\n"
         "\"Qword\"=hex(b):08,07,06,05,04,03,02,01\r\n"
         "\"None\"=hex(0):aa   ; trailing comment\r\n"
         "\"Odd\"=hex(100000):\r\n"
         "\"Short\"=dword:1f\r\n"
         "\"Gone\"=-\r\n"
         "@=-\r\n"
         "\r\n"
         "[-HKLM\\Ravlin_System\\ControlSet001\\Services\\Old]\r\n"
         "[hkcu]\r\n"
         "\"Top\"=\"\"\r\n";
}

std::vector<RegOperation> ExpectedOperations() {
  const RegKey hklm = kHkeyLocalMachine;
  return {
      OpenKey(3, hklm, "Ravlin_System\\ControlSet001\\Services\\atapi"),
      SetValue(4, "Start", kRegDword, {0, 0, 0, 0}),
      SetValue(5, "", kRegSz, Utf16Le(std::u16string(u"default text") + u'\0')),
      SetValue(6, "Quoted \"name\"", kRegSz,
               Utf16Le(std::u16string(u"C:\\WINDOWS\\system32") + u'\0')),
      SetValue(7, "Binary", kRegBinary, {0x01, 0x02, 0xFF, 0x0A, 0x0B}),
      SetValue(9, "Empty", kRegBinary, {}),
      SetValue(10, "Expand", kRegExpandSz, Utf16Le(std::u16string(u"%SystemRoot%") + u'\0')),
      SetValue(11, "Multi", kRegMultiSz, Utf16Le(std::u16string(u"a\0bc\0\0", 6))),
      SetValue(12, "Qword", kRegQword, {8, 7, 6, 5, 4, 3, 2, 1}),
      SetValue(13, "None", kRegNone, {0xAA}),
      SetValue(14, "Odd", 0x100000, {}),
      SetValue(15, "Short", kRegDword, {0x1F, 0, 0, 0}),
      DeleteValue(16, "Gone"),
      DeleteValue(17, ""),
      DeleteKey(19, hklm, "Ravlin_System\\ControlSet001\\Services\\Old"),
      OpenKey(20, kHkeyCurrentUser, ""),
      SetValue(21, "Top", kRegSz, {0, 0}),
  };
}

TEST(RegParser, ReadsEveryFormOfARegedit4File) {
  const auto file =
      "REGEDIT4\r\n" + Body("25,53,79,73,74,65,6d,52,6f,6f,74,25,00", "61,00,62,63,00,00");
  EXPECT_EQ(ParseRegFile(BytesOf(file)), ExpectedOperations());
}

TEST(RegParser, ReadsTheSameFromAUnicodeFile) {
  const auto file = "Windows Registry Editor Version 5.00\r\n" +
                    Body(
                        "25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n"
                        "  00,25,00,00,00",
                        "61,00,00,00,62,00,63,00,00,00,00,00");
  auto expected = ExpectedOperations();
  for (auto& operation : expected)
    if (operation.line > 10) ++operation.line;  // the continued hex(2) line
  EXPECT_EQ(ParseRegFile(Utf16File(file)), expected);
  // The same text as UTF-8 with or without its mark, as Linux tools write it.
  EXPECT_EQ(ParseRegFile(BytesOf("\xEF\xBB\xBF" + file)), expected);
  EXPECT_EQ(ParseRegFile(BytesOf(file)), expected);
}

TEST(RegParser, AcceptsEveryLineEnd) {
  const std::string lf = "REGEDIT4\n\n[HKLM\\A]\n\"V\"=hex:01,\\\n 02\n";
  const std::string cr = "REGEDIT4\r\r[HKLM\\A]\r\"V\"=hex:01,\\\r 02\r";
  const std::vector<RegOperation> expected{OpenKey(3, kHkeyLocalMachine, "A"),
                                           SetValue(4, "V", kRegBinary, {1, 2})};
  EXPECT_EQ(ParseRegFile(BytesOf(lf)), expected);
  EXPECT_EQ(ParseRegFile(BytesOf(cr)), expected);
}

TEST(RegParser, ReadsAnsiTextAsWindows1252) {
  // 0x80 is the euro sign and 0xE9 the e with acute in Windows-1252.
  const std::string file = "REGEDIT4\r\n[HKLM\\Caf\xE9]\r\n\"Price\"=\"5 \x80\"\r\n";
  const std::vector<RegOperation> expected{
      OpenKey(2, kHkeyLocalMachine, "Caf\xE9"),
      SetValue(3, "Price", kRegSz, Utf16Le(std::u16string(u"5 \u20AC") + u'\0'))};
  EXPECT_EQ(ParseRegFile(BytesOf(file)), expected);
  // A Unicode file names the same key by the same ANSI name.
  const auto unicode =
      ParseRegFile(Utf16File("Windows Registry Editor Version 5.00\r\n[HKLM\\Caf\u00E9]\r\n"
                             "\"Price\"=\"5 \u20AC\"\r\n"));
  EXPECT_EQ(unicode, expected);
}

TEST(RegParser, KnowsEveryRootByItsLongAndShortName) {
  const std::vector<std::pair<std::string, RegKey>> roots{
      {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
      {"hklm", kHkeyLocalMachine},
      {"HKEY_CURRENT_USER", kHkeyCurrentUser},
      {"HKCU", kHkeyCurrentUser},
      {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
      {"HKCR", kHkeyClassesRoot},
      {"HKEY_USERS", kHkeyUsers},
      {"HKU", kHkeyUsers},
      {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
      {"HKCC", kHkeyCurrentConfig},
      {"hkey_dyn_data", kHkeyDynData},
      {"HKDD", kHkeyDynData},
  };
  for (const auto& [name, key] : roots) {
    const auto operations = ParseRegFile(BytesOf("REGEDIT4\n[" + name + "\\Sub\\Key]\n"));
    ASSERT_EQ(operations.size(), 1u) << name;
    EXPECT_EQ(operations[0].root, key) << name;
    EXPECT_EQ(operations[0].path, "Sub\\Key") << name;
  }
  EXPECT_EQ(RootKeyFromRegName(u"HKEY_PERFORMANCE_DATA"), 0u);
}

struct Malformed {
  std::string file;
  int line;
  std::string reason;
};

TEST(RegParser, RefusesMalformedFilesWithTheLineAndReason) {
  const std::string header = "REGEDIT4\r\n";
  const std::string key = "[HKLM\\A]\r\n";
  const std::vector<Malformed> cases{
      {"", 1, "the file is empty"},
      {"REGEDIT5\r\n[HKLM\\A]\r\n", 1, "not a registry file"},
      {"[HKLM\\A]\r\n", 1, "not a registry file"},
      {header + "\"V\"=dword:1\r\n", 2, "a value outside a key"},
      {header + key + "[-HKLM\\A]\r\n\"V\"=dword:1\r\n", 4, "a value outside a key"},
      {header + "[HKLM\\A\r\n", 2, "lacks its closing bracket"},
      {header + "[HKLM\\A] x\r\n", 2, "unexpected text after the key name"},
      {header + "[HKEY_NOWHERE\\A]\r\n", 2, "unknown root key \"HKEY_NOWHERE\""},
      {header + "[HKLM\\A\\\\B]\r\n", 2, "has an empty component"},
      {header + "[HKLM\\A\\]\r\n", 2, "has an empty component"},
      {header + "[]\r\n", 2, "is empty"},
      {header + "[ HKLM\\A]\r\n", 2, "blanks around it"},
      {header + "[-HKLM]\r\n", 2, "a root key cannot be deleted"},
      {header + "[HKLM\\" + std::string(256, 'k') + "]\r\n", 2, "longer than 255"},
      {header + key + "\"V\"=\"open\r\n", 3, "string lacks its closing quotation mark"},
      {header + key + "\"V=\"x\"\r\n", 3, "not followed by ="},
      {header + key + "\"V\"=\"a\\nb\"\r\n", 3, "a backslash that is neither"},
      {header + key + "\"V\"=\"x\" y\r\n", 3, "unexpected text after the string"},
      {header + key + "\"V\"=dword:123456789\r\n", 3, "one to eight hex digits"},
      {header + key + "\"V\"=dword:\r\n", 3, "one to eight hex digits"},
      {header + key + "\"V\"=dword:12x\r\n", 3, "unexpected text after the dword"},
      {header + key + "\"V\"=hex:1g\r\n", 3, "invalid character in the hex data"},
      {header + key + "\"V\"=hex:123\r\n", 3, "more than two digits"},
      // Far more digits than an int holds: refused, not overflowed.
      {header + key + "\"V\"=hex:" + std::string(40, 'f') + "\r\n", 3, "more than two digits"},
      {header + key + "\"V\"=hex:01,,02\r\n", 3, "empty byte"},
      {header + key + "\"V\"=hex:,01\r\n", 3, "empty byte"},
      {header + key + "\"V\"=hex:01 02\r\n", 3, "separated by commas"},
      {header + key + "\"V\"=hex:01,\r\n", 3, "ends with a comma"},
      {header + key + "\"V\"=hex:01\\\r\n02\r\n", 3, "a comma must come before"},
      {header + key + "\"V\"=hex:01,\\", 3, "continues past the end of the file"},
      {header + key + "\"V\"=hex:01,\\\r\n\r\n", 4, "must continue the hex data"},
      {header + key + "\"V\"=hex:01,\\\r\n  zz\r\n", 4, "invalid character"},
      {header + key + "\"V\"=hex(xyz):00\r\n", 3, "type number"},
      {header + key + "\"V\"=hex(123456789):00\r\n", 3, "type number"},
      {header + key + "\"V\"=hex(2)00\r\n", 3, "type number"},
      {header + key + "\"V\"=str:\"x\"\r\n", 3, "unknown value type \"str:\"x\"\""},
      {header + key + "\"V\"=-x\r\n", 3, "unexpected text after =-"},
      {header + key + "garbage\r\n", 3, "unexpected text \"garbage\""},
      {header + key + "\"V\"=dword:1\r\n\"W\"=\r\n", 4, "unknown value type"},
  };
  for (const auto& item : cases) {
    try {
      ParseRegFile(BytesOf(item.file));
      ADD_FAILURE() << "accepted: " << item.file;
    } catch (const RegFileError& error) {
      EXPECT_EQ(error.line(), item.line) << item.file;
      EXPECT_NE(std::string(error.what()).find(item.reason), std::string::npos)
          << item.file << " gave: " << error.what();
      EXPECT_EQ(std::string(error.what()).rfind("line " + std::to_string(item.line) + ": ", 0), 0u)
          << error.what();
    }
  }
}

TEST(RegParser, RefusesNamesThatTheAnsiCodePageCannotHold) {
  const auto file =
      Utf16File("Windows Registry Editor Version 5.00\r\n[HKLM\\A]\r\n\"\u4E2D\"=dword:1\r\n");
  try {
    ParseRegFile(file);
    FAIL() << "accepted a name outside the ANSI code page";
  } catch (const RegFileError& error) {
    EXPECT_EQ(error.line(), 3);
    EXPECT_NE(std::string(error.what()).find("outside the ANSI code page"), std::string::npos);
  }
  // Its data may hold any character: it is stored as UTF-16LE.
  const auto data = ParseRegFile(
      Utf16File("Windows Registry Editor Version 5.00\r\n[HKLM\\A]\r\n\"V\"=\"\u4E2D\"\r\n"));
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[1].data, (Bytes{0x2D, 0x4E, 0, 0}));
}

TEST(RegParser, RefusesUnicodeTextCutInACharacter) {
  auto file = Utf16File("Windows Registry Editor Version 5.00\r\n[HKLM\\A]\r\n");
  file.push_back('x');
  EXPECT_THROW(ParseRegFile(file), RegFileError);
}

}  // namespace
}  // namespace ravlin

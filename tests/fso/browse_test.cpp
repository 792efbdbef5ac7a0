#include <filesystem>

#include "platform/runtime_error.hpp"
#include "tests/fso/fso_fixture.hpp"

namespace fs = std::filesystem;

namespace ravlin::testing {
namespace {

using BrowseTest = FsoTest;

TEST_F(BrowseTest, CancelGivesTheEmptyText) {
  ui->folderChoices.push_back(std::nullopt);
  EXPECT_EQ(fso.BrowseForFolder(0, "Choose a Windows Directory"), "");
  EXPECT_EQ(fso.BrowseForFolder(), "");  // an empty queue cancels too
  EXPECT_EQ(ui->events,
            (std::vector<std::string>{"Dialog: Choose a Windows Directory", "Dialog: "}));
}

TEST_F(BrowseTest, ChosenFolderComesBackInDriveLetterForm) {
  fs::create_directories(d / "WinXP/system32");
  ui->folderChoices.push_back(d / "WinXP");
  ui->folderChoices.push_back(d / "WinXP/system32/");
  ui->folderChoices.push_back(d.path());
  ui->folderChoices.push_back(c / fs::path(u8"Café"));
  EXPECT_EQ(fso.BrowseForFolder(0, "Choose a Windows Directory"), Drive('D') + "\\WinXP");
  EXPECT_EQ(fso.BrowseForFolder(), Drive('D') + "\\WinXP\\system32");
  EXPECT_EQ(fso.BrowseForFolder(), Drive('D') + "\\");  // a drive's root keeps its backslash
  EXPECT_EQ(fso.BrowseForFolder(), Drive('C') + "\\Café");
#ifndef _WIN32
  // Linux: what lies outside the mapped drives is on Z:, the root.
  ui->folderChoices.push_back(fs::path("/usr"));
  EXPECT_EQ(fso.BrowseForFolder(), "Z:\\usr");
#endif
}

struct ShrinkCase {
  std::string path;
  std::int16_t maxLen;
  std::string expected;
};

TEST_F(BrowseTest, ShrinkToFitWorkedResults) {
  const std::vector<ShrinkCase> cases{
      {"C:\\Documents and Settings\\User\\Local Settings\\Temp\\file.txt", 30,
       "C:\\...\\Temp\\file.txt"},
      {"C:\\Program Files\\Common Files\\System\\ado\\msado15.dll", 25,
       "C:\\...\\ado\\msado15.dll"},
      {"\\\\server\\share\\folder\\sub\\file.doc", 20, "\\\\server\\...\\file.doc"},
      {"D:\\a\\b\\cdefghij", 10, "D:\\...\\b\\cdefghij"},
      {"C:\\abc\\def", 5, "C:\\...\\def"},
      {"C:\\WINDOWS", 20, "C:\\WINDOWS"},
      {"relative\\path\\that\\is\\long", 5, "relative\\path\\that\\is\\long"},
  };
  for (const auto& [path, maxLen, expected] : cases)
    EXPECT_EQ(fso.Shrink_2_Fit(path, maxLen), expected) << path << " in " << maxLen;
  EXPECT_EQ(fso.Shrink_2_Fit("\\\\server\\share\\folder\\sub\\file.doc", 20).size(), 21u);
}

TEST_F(BrowseTest, ShrinkToFitLengthLimitAndBlanks) {
  const std::string path = "C:\\abc\\def\\ghi";  // 14 characters
  EXPECT_EQ(fso.Shrink_2_Fit(path, 14), path);
  EXPECT_EQ(fso.Shrink_2_Fit(path, 13), "C:\\...\\ghi");  // keeping "def" would give 14
  EXPECT_EQ(fso.Shrink_2_Fit("   C:\\WINDOWS  ", 20), "C:\\WINDOWS");
  EXPECT_EQ(fso.Shrink_2_Fit("  C:\\abc\\def\\ghi ", 14), path);  // the length counts trimmed
  EXPECT_EQ(fso.Shrink_2_Fit("  not\\a\\drive\\path  ", 3), "not\\a\\drive\\path");
  EXPECT_EQ(fso.Shrink_2_Fit("\tC:\\abc\\def", 5), "\tC:\\abc\\def");  // tabs stay
  EXPECT_EQ(fso.Shrink_2_Fit("", 0), "");
}

TEST_F(BrowseTest, ShrinkToFitCountsCharactersInAnyLanguage) {
  // 26 characters, 39 bytes.
  const std::string path = "Z:\\Новый том\\Папка\\WINDOWS";
  EXPECT_EQ(fso.Shrink_2_Fit(path, 26), path);
  EXPECT_EQ(fso.Shrink_2_Fit(path, 20), "Z:\\...\\Папка\\WINDOWS");
  // The search goes on from the same position of what is left, as it does for "\\server".
  EXPECT_EQ(fso.Shrink_2_Fit("\\\\сервер\\общий\\папка\\файл.doc", 20),
            "\\\\сервер\\...\\папка\\файл.doc");
}

TEST_F(BrowseTest, ShrinkToFitReturnsTheTrimmedTextWhenNothingCanBeLeftOut) {
  EXPECT_EQ(fso.Shrink_2_Fit(" C:\\verylongname.txt ", 5), "C:\\verylongname.txt");
  EXPECT_EQ(fso.Shrink_2_Fit("C:verylongname.txt", 5), "C:verylongname.txt");
  EXPECT_EQ(fso.Shrink_2_Fit("\\\\server", 3), "\\\\server");
  EXPECT_EQ(fso.Shrink_2_Fit("\\\\server\\share", 3), "\\\\server\\share");
}

TEST_F(BrowseTest, ShrinkToFitOverflowsOutsideSixteenBits) {
  const auto overflowNumber = [&](const std::string& path, std::int16_t maxLen) {
    try {
      fso.Shrink_2_Fit(path, maxLen);
    } catch (const RuntimeError& error) {
      return error.Number();
    }
    return 0;
  };
  EXPECT_EQ(overflowNumber("C:\\a\\b", -32767), 6);  // the budget leaves the range
  const std::string longName(40000, 'x');
  EXPECT_EQ(overflowNumber("C:\\" + longName + "\\f", 10), 6);
  EXPECT_EQ(overflowNumber("C:" + longName + "\\a\\f", 10), 6);  // the root's backslash
  // A long text that is neither a drive nor a network path comes back whole.
  EXPECT_EQ(fso.Shrink_2_Fit(std::string(3, ' ') + longName, 32767).size(), 40000u);
  EXPECT_EQ(overflowNumber("relative\\" + longName, 10), 0);
}

}  // namespace
}  // namespace ravlin::testing

#include <regex>
#include <set>

#include "tests/fso/toolkit_fixture.hpp"

namespace fs = std::filesystem;

namespace ravlin::testing {
namespace {

using Rnd2Test = ToolkitTest;

TEST_F(Rnd2Test, StaysInItsRangeAndPumpsMessages) {
  float lowest = 200;
  float highest = 0;
  for (int i = 0; i < 20000; ++i) {
    const float r = fso->Rnd2(48, 122);
    ASSERT_GE(r, 48.0f);
    ASSERT_LT(r, 122.0f);
    lowest = std::min(lowest, r);
    highest = std::max(highest, r);
  }
  // The draws spread over the range.
  EXPECT_LT(lowest, 50.0f);
  EXPECT_GT(highest, 120.0f);
  EXPECT_EQ(fso->Rnd2(5, 5), 5.0f);
  const float reversed = fso->Rnd2(10, 2);
  EXPECT_GT(reversed, 2.0f);
  EXPECT_LE(reversed, 10.0f);
  EXPECT_GE(ui->doEventsCalls, 20002);
}

using CreateTmpNameTest = ToolkitTest;

TEST_F(CreateTmpNameTest, UnderscoreThenDigitsAndLowerCaseLetters) {
  EXPECT_EQ(fso->Create_Tmp_Name(0), "");
  EXPECT_EQ(fso->Create_Tmp_Name(-3), "");
  EXPECT_EQ(fso->Create_Tmp_Name(1), "_");
  const std::regex form("_[0-9a-z]{7}");
  std::set<std::string> names;
  for (int i = 0; i < 200; ++i) {
    const std::string name = fso->Create_Tmp_Name(8);
    EXPECT_TRUE(std::regex_match(name, form)) << name;
    names.insert(name);
  }
  // Draws within one tick of the clock still differ.
  EXPECT_GE(names.size(), 199u);
  const std::string longName = fso->Create_Tmp_Name(40);
  EXPECT_GT(std::set<char>(longName.begin() + 1, longName.end()).size(), 5u) << longName;
}

class CreateTmpFilenameTest : public ToolkitTest {
 protected:
  CreateTmpFilenameTest() { fs::create_directory(Native("tmp")); }
#ifdef _WIN32
  // Windows takes the temporary folder from TMP first.
  ScopedEnv tmpdir{"TMP", (root / "tmp").string()};
#else
  ScopedEnv tmpdir{"TMPDIR", (root / "tmp").string()};
#endif
};

TEST_F(CreateTmpFilenameTest, EmptyFolderBecomesTheTemporaryFolder) {
  std::string folder;
  const std::string file = fso->Create_Tmp_Filename(folder);
  EXPECT_EQ(folder, "T:\\tmp\\");
#ifdef _WIN32
  // GetTempFileNameW names the file; Wine writes its number and ".tmp" in lower case.
  const std::regex name(R"(T:\\tmp\\_[0-9a-z]{2}([0-9A-F]{1,4}\.TMP|[0-9a-f]{1,4}\.tmp))");
#else
  const std::regex name(R"(T:\\tmp\\_[0-9a-z]{2}[0-9A-F]{1,4}\.TMP)");
#endif
  EXPECT_TRUE(std::regex_match(file, name)) << file;
  const fs::path created = Native("tmp") / file.substr(7);
  EXPECT_TRUE(fs::is_regular_file(created));
  EXPECT_EQ(fs::file_size(created), 0u);
  EXPECT_NE(fso->Create_Tmp_Filename(), file);
}

TEST_F(CreateTmpFilenameTest, FolderWithoutBackslashIsPassedOnUnchanged) {
  fs::create_directory(Native("mine"));
  std::string folder = Win("mine");
  const std::string file = fso->Create_Tmp_Filename(folder);
  EXPECT_EQ(folder, Win("mine"));
  EXPECT_TRUE(file.starts_with(Win("mine\\_"))) << file;
  EXPECT_TRUE(fs::is_regular_file(Native("mine") / file.substr(Win("mine\\").size())));
}

TEST_F(CreateTmpFilenameTest, FolderThatDoesNotExistGivesEmpty) {
  std::string folder = Win("nowhere\\");
  EXPECT_EQ(fso->Create_Tmp_Filename(folder), "");
}

TEST_F(CreateTmpFilenameTest, TemporaryFolderIsCreatedOnce) {
  const std::string folder = fso->Create_Tmp_Folder();
  EXPECT_TRUE(std::regex_match(folder, std::regex(R"(T:\\tmp\\_[0-9a-z]{7}\\)"))) << folder;
  EXPECT_TRUE(fs::is_directory(Native("tmp") / folder.substr(7, 8)));
  EXPECT_NE(fso->Create_Tmp_Folder(), folder);
}

}  // namespace
}  // namespace ravlin::testing

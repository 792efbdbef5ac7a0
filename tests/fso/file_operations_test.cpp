#include <cstdlib>
#include <fstream>

#include "tests/fso/toolkit_fixture.hpp"
#include "tests/support/host_system.hpp"

namespace fs = std::filesystem;

namespace ravlin::testing {
namespace {

constexpr std::uint16_t kReadOnly = 1;
constexpr std::uint16_t kHidden = 2;
constexpr std::uint16_t kArchive = 32;

bool IsReadOnly(const fs::path& path) {
  const auto perms = fs::status(path).permissions();
  return (perms & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) ==
         fs::perms::none;
}

void MakeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

using CreateDirStructTest = ToolkitTest;

TEST_F(CreateDirStructTest, CreatesMissingLevelsAndLeavesExistingOnes) {
  fs::create_directory(Native("a"));
  WriteFile(Native("a/keep.txt"), "x");
  EXPECT_TRUE(fso->Create_Dir_Struct(Win("a\\b\\c")));
  EXPECT_TRUE(fs::is_directory(Native("a/b/c")));
  EXPECT_TRUE(fso->Create_Dir_Struct(Win("a\\b\\c")));
  EXPECT_TRUE(fso->Create_Dir_Struct("  " + Win("a\\b\\d\\") + "  "));
  EXPECT_TRUE(fs::is_directory(Native("a/b/d")));
  EXPECT_EQ(ReadFile(Native("a/keep.txt")), "x");
  EXPECT_TRUE(ui->boxes.empty());
}

TEST_F(CreateDirStructTest, BlankPathIsFalseWithoutBox) {
  EXPECT_FALSE(fso->Create_Dir_Struct(""));
  EXPECT_FALSE(fso->Create_Dir_Struct("   "));
  EXPECT_TRUE(ui->boxes.empty());
}

TEST_F(CreateDirStructTest, FileStandingAtALevelIsReportedWithThatLevel) {
  WriteFile(Native("a/plain"), "not a folder");
  EXPECT_FALSE(fso->Create_Dir_Struct(Win("a\\plain\\sub")));
  ASSERT_EQ(ui->boxes.size(), 1u);
  const ShownBox& box = ui->boxes[0];
  EXPECT_EQ(box.title, "Error creating folder");
  EXPECT_EQ(box.style, 64);
  EXPECT_TRUE(box.text.starts_with("Error: ")) << box.text;
  EXPECT_TRUE(box.text.ends_with("\r\n\r\nAn error occured while trying to create T:\\a\\plain"))
      << box.text;
  EXPECT_EQ(ReadFile(Native("a/plain")), "not a folder");
}

TEST_F(CreateDirStructTest, NetworkPathFailsAtItsEmptyFirstLevel) {
  EXPECT_FALSE(fso->Create_Dir_Struct("\\\\server\\share\\dir"));
  ASSERT_EQ(ui->boxes.size(), 1u);
  const std::string& text = ui->boxes[0].text;
  // "Error: <number>  <description>", an empty line, and nothing after "create ".
  EXPECT_TRUE(text.starts_with("Error: ")) << text;
  EXPECT_NE(text.find("  "), std::string::npos);
  EXPECT_TRUE(text.ends_with("\r\n\r\nAn error occured while trying to create ")) << text;
}

using CopyFileTest = ToolkitTest;

TEST_F(CopyFileTest, ExistingTargetAsksWithTheLastExaminedFileAndNoKeepsBoth) {
  WriteFile(Native("src.txt"), "new");
  WriteFile(Native("dst.txt"), "old");
  ASSERT_TRUE(fso->Get_FileInfo(Win("dst.txt")));
  ui->boxAnswers.push_back(mb::kIdNo);
  EXPECT_FALSE(fso->Copy_File(Win("src.txt"), Win("dst.txt")));
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "File already exist at\r\n" + Win("dst.txt") + "\r\n" +
                                   fso->LastFileInfo().DateLastModified + "\r\n3\r\n\r\n" +
                                   "Do you want to replace it?");
  EXPECT_EQ(ui->boxes[0].title, "Replace File?");
  EXPECT_EQ(ui->boxes[0].style, 36);
  EXPECT_EQ(ReadFile(Native("dst.txt")), "old");
  EXPECT_EQ(ReadFile(Native("src.txt")), "new");
}

TEST_F(CopyFileTest, QuestionOnAFreshObjectHasEmptyDetailLines) {
  WriteFile(Native("src.txt"), "new");
  WriteFile(Native("dst.txt"), "old");
  ui->boxAnswers.push_back(mb::kIdNo);
  EXPECT_FALSE(fso->Copy_File(Win("src.txt"), Win("dst.txt")));
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "File already exist at\r\n" + Win("dst.txt") +
                                   "\r\n\r\n\r\n\r\nDo you want to replace it?");
}

TEST_F(CopyFileTest, YesReplacesAReadOnlyTarget) {
  WriteFile(Native("src.txt"), "new");
  WriteFile(Native("dst.txt"), "old");
  MakeReadOnly(Native("dst.txt"));
  ui->boxAnswers.push_back(mb::kIdYes);
  EXPECT_TRUE(fso->Copy_File(Win("src.txt"), Win("dst.txt")));
  EXPECT_EQ(ReadFile(Native("dst.txt")), "new");
  EXPECT_FALSE(IsReadOnly(Native("dst.txt")));
  EXPECT_EQ(ui->boxes.size(), 1u);
}

TEST_F(CopyFileTest, IntoAFolderReplacesWithoutAskingAndMarksTheFileNotTheFolder) {
  WriteFile(Native("src.sys"), "driver");
  MakeReadOnly(Native("src.sys"));
  fs::create_directory(Native("drivers"));
  WriteFile(Native("drivers/src.sys"), "stale");
  EXPECT_TRUE(fso->Copy_File(Win("src.sys"), Win("drivers\\")));
  EXPECT_TRUE(ui->boxes.empty());
  EXPECT_EQ(ReadFile(Native("drivers/src.sys")), "driver");
  EXPECT_TRUE(IsReadOnly(Native("drivers/src.sys")));
  // The folder keeps its own attributes: it must stay writable for the next driver file.
  EXPECT_FALSE(IsReadOnly(Native("drivers")));
  EXPECT_EQ(platform.attributes->GetAttr(Win("drivers")) & kReadOnly, 0);
  WriteFile(Native("second.sys"), "another");
  EXPECT_TRUE(fso->Copy_File(Win("second.sys"), Win("drivers\\")));
  EXPECT_EQ(ReadFile(Native("drivers/second.sys")), "another");
}

TEST_F(CopyFileTest, ReadOnlyTargetInAFolderIsRefusedAndKept) {
  WriteFile(Native("src.sys"), "driver");
  fs::create_directory(Native("drivers"));
  WriteFile(Native("drivers/src.sys"), "protected");
  MakeReadOnly(Native("drivers/src.sys"));
  EXPECT_FALSE(fso->Copy_File(Win("src.sys"), Win("drivers\\")));
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "Error: 70  Permission denied\r\n\r\nError while copying a file" +
                                   std::string("\r\n\r\nFROM: ") + Win("src.sys") +
                                   "\r\nTO: " + Win("drivers\\"));
  EXPECT_EQ(ui->boxes[0].title, "Error Detected");
  EXPECT_EQ(ui->boxes[0].style, 48);
  EXPECT_EQ(ReadFile(Native("drivers/src.sys")), "protected");
}

TEST_F(CopyFileTest, MissingSourceShowsFromAndTo) {
  EXPECT_FALSE(fso->Copy_File(Win("nothing.txt"), Win("dst.txt")));
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "Error: 53  File not found\r\n\r\nError while copying a file" +
                                   std::string("\r\n\r\nFROM: ") + Win("nothing.txt") +
                                   "\r\nTO: " + Win("dst.txt"));
  EXPECT_FALSE(fs::exists(Native("dst.txt")));
}

TEST_F(CopyFileTest, CopyOntoItselfKeepsTheFile) {
  WriteFile(Native("only.txt"), "precious");
  ui->boxAnswers.push_back(mb::kIdYes);
  EXPECT_FALSE(fso->Copy_File(Win("only.txt"), "t:\\ONLY.TXT"));
  ASSERT_EQ(ui->boxes.size(), 2u);
  EXPECT_TRUE(ui->boxes[1].text.starts_with("Error: 70  Permission denied")) << ui->boxes[1].text;
  EXPECT_EQ(ReadFile(Native("only.txt")), "precious");
}

TEST_F(CopyFileTest, CarriesHiddenOverWhereTheFileSystemKeepsIt) {
  WriteFile(Native("src.txt"), "x");
  platform.attributes->SetAttr(Win("src.txt"), kHidden | kArchive);
  if ((platform.attributes->GetAttr(Win("src.txt")) & kHidden) == 0)
    GTEST_SKIP() << "this file system keeps no extended attributes";
  EXPECT_TRUE(fso->Copy_File(Win("src.txt"), Win("dst.txt")));
  EXPECT_EQ(platform.attributes->GetAttr(Win("dst.txt")), kHidden | kArchive);
}

using MoveFileTest = ToolkitTest;

TEST_F(MoveFileTest, MovesIntoAFolderWithTheSourceAttributes) {
  WriteFile(Native("src.txt"), "content");
  MakeReadOnly(Native("src.txt"));
  fs::create_directory(Native("target"));
  EXPECT_TRUE(fso->Move_File(Win("src.txt"), Win("target\\")));
  EXPECT_FALSE(fs::exists(Native("src.txt")));
  EXPECT_EQ(ReadFile(Native("target/src.txt")), "content");
  EXPECT_TRUE(IsReadOnly(Native("target/src.txt")));
  EXPECT_FALSE(IsReadOnly(Native("target")));
}

TEST_F(MoveFileTest, NameTakenInTheFolderFailsAndLeavesTheSource) {
  WriteFile(Native("src.txt"), "mine");
  WriteFile(Native("target/SRC.TXT"), "theirs");
  EXPECT_FALSE(fso->Move_File(Win("src.txt"), Win("target\\")));
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "Error: 58  File already exists\r\n\r\nError while moving a file" +
                                   std::string("\r\n\r\nFROM: ") + Win("src.txt") +
                                   "\r\nTO: " + Win("target\\"));
  EXPECT_EQ(ui->boxes[0].title, "Errors detected");
  EXPECT_EQ(ui->boxes[0].style, 64);
  EXPECT_EQ(ReadFile(Native("src.txt")), "mine");
  EXPECT_EQ(ReadFile(Native("target/SRC.TXT")), "theirs");
}

TEST_F(MoveFileTest, YesReplacesAnExistingTarget) {
  WriteFile(Native("src.txt"), "mine");
  WriteFile(Native("dst.txt"), "theirs");
  EXPECT_TRUE(fso->Move_File(Win("src.txt"), Win("dst.txt")));
  EXPECT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].title, "Replace File?");
  EXPECT_EQ(ReadFile(Native("dst.txt")), "mine");
  EXPECT_FALSE(fs::exists(Native("src.txt")));
}

// Makes one file of a tree impossible to delete, and lifts that again at the end. Linux sets
// the immutable flag where the file system allows it, which stops root too; Windows holds the
// file open without sharing its deletion, as a virus scanner does.
class Resisting {
 public:
#ifdef _WIN32
  explicit Resisting(const fs::path& file) : holder_(file, std::ios::binary) {}
  bool active() const {
    return holder_.is_open();
  }

 private:
  std::ifstream holder_;
#else
  explicit Resisting(fs::path file) : file_(std::move(file)) {
    active_ = std::system(("chattr +i '" + file_.string() + "' 2>/dev/null").c_str()) == 0;
  }
  Resisting(const Resisting&) = delete;
  Resisting& operator=(const Resisting&) = delete;
  ~Resisting() {
    if (active_) std::system(("chattr -i '" + file_.string() + "'").c_str());
  }
  bool active() const {
    return active_;
  }

 private:
  fs::path file_;
  bool active_ = false;
#endif
};

#ifndef _WIN32
// Hands a part of the temporary folder to "nobody", who must reach it.
void ShareWithNobody(const fs::path& temp, const fs::path& part) {
  fs::permissions(temp, fs::perms::others_exec, fs::perm_options::add);
  ASSERT_TRUE(GiveToNobody(part));
}
#endif

using KillFileTest = ToolkitTest;

TEST_F(KillFileTest, DeletesReadOnlyHiddenFilesAndAcceptsMissingOnes) {
  WriteFile(Native("guarded.txt"), "x");
  platform.attributes->SetAttr(Win("guarded.txt"), kReadOnly | kHidden);
  ASSERT_TRUE(IsReadOnly(Native("guarded.txt")));
  EXPECT_TRUE(fso->KillFile(Win("guarded.txt")));
  EXPECT_FALSE(fs::exists(Native("guarded.txt")));
  EXPECT_TRUE(fso->KillFile(Win("never-there.txt")));
  EXPECT_TRUE(fso->KillFile("relative-name.txt"));
}

TEST_F(KillFileTest, FileThatCannotGoIsFalse) {
  WriteFile(Native("locked/file.txt"), "x");
  const Resisting lock(Native("locked/file.txt"));
  std::optional<bool> killed;
  if (lock.active()) {
    killed = fso->KillFile(Win("locked\\file.txt"));
  } else {
#ifndef _WIN32
    // A folder without write permission keeps its files, except from root.
    if (RunningAsSuperuser()) ShareWithNobody(temp.path(), Native("locked"));
    fs::permissions(Native("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    if (RunningAsSuperuser()) {
      killed = AsNobody([&] { return fso->KillFile(Win("locked\\file.txt")); });
      if (!killed) GTEST_SKIP() << "cannot run as an unprivileged user here";
    } else {
      killed = fso->KillFile(Win("locked\\file.txt"));
    }
#endif
  }
  EXPECT_EQ(killed, false);
  EXPECT_TRUE(fs::exists(Native("locked/file.txt")));
}

using DelTreeTest = ToolkitTest;

TEST_F(DelTreeTest, DeletesReadOnlyContentAndFailsQuietlyOnMissingFolder) {
  WriteFile(Native("tree/a.txt"), "a");
  WriteFile(Native("tree/sub/b.txt"), "b");
  MakeReadOnly(Native("tree/a.txt"));
  MakeReadOnly(Native("tree/sub/b.txt"));
  MakeReadOnly(Native("tree/sub"));
  EXPECT_TRUE(fso->DelTree32(Win("tree")));
  EXPECT_FALSE(fs::exists(Native("tree")));
  EXPECT_FALSE(fso->DelTree32(Win("tree")));
  EXPECT_TRUE(ui->boxes.empty());
}

// Linux only: MinGW's std::filesystem makes no links on Windows.
#ifndef _WIN32
TEST_F(DelTreeTest, NeverFollowsALinkOutOfTheTree) {
  WriteFile(Native("outside/keep.txt"), "keep");
  fs::create_directory(Native("tree"));
  fs::create_directory_symlink(Native("outside"), Native("tree/link"));
  EXPECT_TRUE(fso->DelTree32(Win("tree")));
  EXPECT_FALSE(fs::exists(Native("tree")));
  EXPECT_EQ(ReadFile(Native("outside/keep.txt")), "keep");
}
#endif

TEST_F(DelTreeTest, DriveRootIsNeverDeleted) {
  WriteFile(Native("keep.txt"), "keep");
  EXPECT_FALSE(fso->DelTree32("T:\\"));
  EXPECT_EQ(ReadFile(Native("keep.txt")), "keep");
}

using KillDirTest = ToolkitTest;

TEST_F(KillDirTest, MissingFolderIsRecreatedOnRequest) {
  EXPECT_TRUE(fso->KillDir(Win("fresh"), false));
  EXPECT_FALSE(fs::exists(Native("fresh")));
  EXPECT_TRUE(fso->KillDir(Win("fresh"), true));
  EXPECT_TRUE(fs::is_directory(Native("fresh")));
  EXPECT_TRUE(ui->boxes.empty());
}

TEST_F(KillDirTest, EmptiesAFolderAndRecreatesIt) {
  WriteFile(Native("work/a.txt"), "a");
  WriteFile(Native("work/sub/b.txt"), "b");
  EXPECT_TRUE(fso->KillDir(Win("work"), true));
  EXPECT_TRUE(fs::is_directory(Native("work")));
  EXPECT_TRUE(fs::is_empty(Native("work")));
}

TEST_F(KillDirTest, FailedRecreationShowsBothBoxesAndIsStillTrue) {
  WriteFile(Native("plain"), "a file");
  EXPECT_TRUE(fso->KillDir(Win("plain\\sub"), true));
  ASSERT_EQ(ui->boxes.size(), 2u);
  EXPECT_EQ(ui->boxes[0].title, "Error creating folder");
  EXPECT_EQ(ui->boxes[1].text, "Error recreating:  \r\n" + Win("plain\\sub"));
  EXPECT_EQ(ui->boxes[1].style, 0);
  EXPECT_EQ(ui->boxes[1].title, "Ravlin");
}

TEST_F(KillDirTest, FolderThatResistsIsEmptiedAsFarAsPossible) {
  WriteFile(Native("work/top.txt"), "top");
  WriteFile(Native("work/other/gone.txt"), "gone");
  WriteFile(Native("work/stuck/locked.txt"), "locked");
  WriteFile(Native("work/stuck/free.txt"), "free");
  const Resisting lock(Native("work/stuck/locked.txt"));
  std::optional<bool> killed;
  if (lock.active()) {
    killed = fso->KillDir(Win("work"), true);
  } else {
#ifndef _WIN32
    // A folder that cannot even be read resists; the file list then fails as a whole, so
    // only the subfolders are cleaned up. Root is not stopped by that, "nobody" is.
    if (RunningAsSuperuser()) {
      ShareWithNobody(temp.path(), Native("work"));
      fs::permissions(Native("work/stuck"), fs::perms::none);
      killed = AsNobody([&] { return fso->KillDir(Win("work"), true); });
      if (!killed) GTEST_SKIP() << "cannot run as an unprivileged user here";
    } else {
      fs::permissions(Native("work/stuck"), fs::perms::none);
      killed = fso->KillDir(Win("work"), true);
    }
#endif
  }
  EXPECT_EQ(killed, false);
  EXPECT_TRUE(fs::exists(Native("work/stuck")));
  EXPECT_FALSE(fs::exists(Native("work/other")));
  EXPECT_TRUE(ui->boxes.empty());
  if (lock.active()) {
    EXPECT_TRUE(fs::exists(Native("work/stuck/locked.txt")));
    EXPECT_FALSE(fs::exists(Native("work/stuck/free.txt")));
    EXPECT_FALSE(fs::exists(Native("work/top.txt")));
  }
}

}  // namespace
}  // namespace ravlin::testing

#include <algorithm>
#include <filesystem>

#include "platform/runtime_error.hpp"
#include "tests/fso/fso_fixture.hpp"
#ifndef _WIN32
#include "tests/support/host_system.hpp"
#endif

namespace fs = std::filesystem;

namespace ravlin::testing {
namespace {

using ExistenceTest = FsoTest;

TEST_F(ExistenceTest, FileExistAcceptsEveryKindOfFileOnAReadyDrive) {
  WriteFile(c / "WINDOWS/.hidden", "h");
  WriteFile(c / "WINDOWS/readonly.sys", "r");
  fs::permissions(c / "WINDOWS/readonly.sys", fs::perms::owner_read);
  WriteFile(c / "boot.ini", "b");

  EXPECT_TRUE(fso.File_Exist(Drive('C') + "\\WINDOWS\\.hidden"));
  EXPECT_TRUE(fso.File_Exist(Drive('C') + "\\WINDOWS\\readonly.sys"));
  EXPECT_TRUE(fso.File_Exist(Drive('C') + "\\boot.ini"));  // the parent C:\ counts as a folder
  EXPECT_TRUE(fso.File_Exist(Drive('c') + "\\windows\\READONLY.SYS"));
}

TEST_F(ExistenceTest, FileExistFindsTheHiveWhateverTheCaseOfItsFolders) {
  WriteFile(d / "WinXP/System32/CONFIG/SYSTEM", "regf");
  EXPECT_TRUE(fso.File_Exist(Drive('D') + "\\WinXP\\system32\\config\\system"));
  EXPECT_TRUE(fso.File_Exist(Drive('d') + "\\winxp\\SYSTEM32\\Config\\System"));
  EXPECT_FALSE(fso.File_Exist(Drive('D') + "\\WinXP\\system32\\config\\software"));
}

TEST_F(ExistenceTest, FileExistRefusesWhatIsNoFileOnADrive) {
  WriteFile(c / "WINDOWS/file.txt", "x");
  const fs::path previous = fs::current_path();
  fs::current_path(c.path());
  const bool relative = fso.File_Exist("WINDOWS\\file.txt");
  const bool rooted = fso.File_Exist("\\WINDOWS\\file.txt");
  fs::current_path(previous);
  EXPECT_FALSE(relative);
  EXPECT_FALSE(rooted);

  EXPECT_FALSE(fso.File_Exist(Drive('C') + "\\WINDOWS"));
  EXPECT_FALSE(fso.File_Exist(Drive('C') + "\\WINDOWS\\"));
  EXPECT_FALSE(fso.File_Exist("\\\\server\\share\\file.txt"));
  EXPECT_FALSE(fso.File_Exist(" " + Drive('C') + "\\WINDOWS\\file.txt"));
  EXPECT_FALSE(fso.File_Exist("Q:\\WINDOWS\\file.txt"));  // no such drive
  EXPECT_FALSE(fso.File_Exist("M:\\file.txt"));           // drive without medium
  EXPECT_FALSE(fso.File_Exist(Drive('C') + "\\missing\\file.txt"));
  EXPECT_FALSE(fso.File_Exist(Drive('C') + "\\WINDOWS\\file.txt\\x"));
  EXPECT_FALSE(fso.File_Exist(Drive('C') + "\\WINDOWS\\*.txt"));
  EXPECT_FALSE(fso.File_Exist(""));
  EXPECT_FALSE(fso.File_Exist("   "));
  EXPECT_FALSE(fso.File_Exist(Drive('C')));
  EXPECT_FALSE(fso.File_Exist(Drive('C') + "\\"));
  EXPECT_FALSE(fso.File_Exist("x"));
}

TEST_F(ExistenceTest, FolderExistTrimsAndIgnoresOneTrailingBackslash) {
  fs::create_directories(c / "WINDOWS/system32");
  EXPECT_TRUE(fso.Folder_Exist(Drive('C') + "\\WINDOWS"));
  EXPECT_TRUE(fso.Folder_Exist(Drive('C') + "\\windows\\"));
  EXPECT_TRUE(fso.Folder_Exist("  " + Drive('C') + "\\Windows\\System32  "));
  EXPECT_TRUE(fso.Folder_Exist(Drive('C')));
  EXPECT_TRUE(fso.Folder_Exist(Drive('C') + "\\"));
  EXPECT_FALSE(fso.Folder_Exist("M:\\"));
  EXPECT_FALSE(fso.Folder_Exist(Drive('C') + "\\WINDOWS\\missing"));
  EXPECT_FALSE(fso.Folder_Exist("\\\\server\\share"));
}

TEST_F(ExistenceTest, DriveExistReportsPresentReadyDrivesWithTheirType) {
  std::int32_t type = 99;
  EXPECT_TRUE(fso.Drive_Exist(Drive('C') + "\\Windows", type));
#ifdef _WIN32
  EXPECT_EQ(type, 2);  // a scratch drive is a folder of a fixed disk
#else
  const auto inMemory = OnMemoryFileSystem(c.path());
  ASSERT_TRUE(inMemory.has_value());
  EXPECT_EQ(type, *inMemory ? 5 : 2);
#endif

  type = 99;
  EXPECT_TRUE(fso.Drive_Exist(Drive('d'), type));
  EXPECT_NE(type, 0);
  type = 99;
  EXPECT_FALSE(fso.Drive_Exist("M:", type));  // present, but no medium
  EXPECT_EQ(type, 0);
  type = 99;
  EXPECT_FALSE(fso.Drive_Exist("Q:", type));
  EXPECT_EQ(type, 0);
  type = 99;
  EXPECT_FALSE(fso.Drive_Exist("x", type));
  EXPECT_EQ(type, 0);
  type = 99;
  EXPECT_FALSE(fso.Drive_Exist("\\\\server", type));
  EXPECT_EQ(type, 0);
  type = 99;
  EXPECT_FALSE(fso.Drive_Exist("1:", type));
  EXPECT_EQ(type, 0);
}

TEST_F(ExistenceTest, IsDriveReadyLooksAtTheFirstLetterOnly) {
  EXPECT_TRUE(fso.IsDriveReady(Drive('c').substr(0, 1)));
  EXPECT_TRUE(fso.IsDriveReady(Drive('C') + "\\"));
  EXPECT_TRUE(fso.IsDriveReady(Drive('D') + "\\anything at all"));
#ifndef _WIN32
  // Linux only: Wine has no drive without medium to give a test.
  EXPECT_FALSE(fso.IsDriveReady("M"));
#endif
  EXPECT_FALSE(fso.IsDriveReady("1:"));
  EXPECT_FALSE(fso.IsDriveReady(":"));
  EXPECT_FALSE(fso.IsDriveReady(" C"));
  EXPECT_THROW(fso.IsDriveReady(""), RuntimeError);
  try {
    fso.IsDriveReady("Q");
    ADD_FAILURE() << "a letter without drive must fail";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.Number(), 68);
  }
}

TEST_F(ExistenceTest, AvailableDrivesListsEveryMappedRootInLetterOrder) {
#ifdef _WIN32
  // The machine's own drives come with the scratch drives.
  const std::vector<std::string> drives = fso.Available_Drives();
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
  for (const std::string& root : {Drive('C') + "\\", Drive('D') + "\\"})
    EXPECT_EQ(std::count(drives.begin(), drives.end(), root), 1) << root;
  for (const std::string& root : drives)
    EXPECT_TRUE(root.size() == 3 && root.ends_with(":\\")) << root;
#else
  EXPECT_EQ(fso.Available_Drives(), (std::vector<std::string>{"C:\\", "D:\\", "M:\\", "Z:\\"}));
#endif
}

TEST_F(ExistenceTest, IsThisRestrictedProbesAndCleansUp) {
  fs::create_directories(c / "Writable");
  EXPECT_FALSE(fso.IsThisRestricted(Drive('C') + "\\writable"));
  EXPECT_FALSE(fso.IsThisRestricted("  " + Drive('C') + "\\Writable\\  "));
  EXPECT_FALSE(fso.IsThisRestricted(Drive('C') + "\\"));
  EXPECT_TRUE(fs::is_empty(c / "Writable"));
  EXPECT_FALSE(fs::exists(c / "_Test.$$$"));

  WriteFile(c / "Writable/_Test.$$$", "someone's");
  EXPECT_FALSE(fso.IsThisRestricted(Drive('C') + "\\Writable"));  // the probe replaces it and goes
  EXPECT_TRUE(fs::is_empty(c / "Writable"));

  EXPECT_TRUE(fso.IsThisRestricted(""));
  EXPECT_TRUE(fso.IsThisRestricted("   "));
  EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\missing"));
  EXPECT_TRUE(fso.IsThisRestricted("Q:\\"));
  EXPECT_TRUE(fso.IsThisRestricted("M:\\"));
  EXPECT_FALSE(fs::exists(c / "missing"));
}

TEST_F(ExistenceTest, IsThisRestrictedOnFoldersThatCannotTakeTheProbe) {
  // A folder whose path passes through a file refuses every writer, the superuser too.
  WriteFile(c / "plain.txt", "x");
  EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\plain.txt"));
  EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\plain.txt\\sub"));
  EXPECT_EQ(ReadFile(c / "plain.txt"), "x");

  // The probe's name taken by a folder: refused, and the folder stays.
  fs::create_directories(c / "Taken/_Test.$$$/inner");
  EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\Taken"));
  EXPECT_TRUE(fs::is_directory(c / "Taken/_Test.$$$/inner"));

  // A full medium: the probe name leads to a device that accepts no data. The link that was
  // there before stays.
#ifndef _WIN32
  if (fs::exists("/dev/full")) {
    fs::create_directories(c / "Full");
    fs::create_symlink("/dev/full", c / "Full/_Test.$$$");
    EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\Full"));
    EXPECT_TRUE(fs::is_symlink(c / "Full/_Test.$$$"));
  }
#endif
}

// Linux only: a limit on the size of the files a process writes, and a folder whose
// permissions keep writers out, are POSIX's; Windows' read-only attribute on a folder does not
// stop a file being written into it.
#ifndef _WIN32
TEST_F(ExistenceTest, IsThisRestrictedRemovesAProbeThatAFailedStepLeftBehind) {
  fs::create_directories(c / "Small");
  {
    // The first line fits, the appended one does not: the disk is full after step 3.
    const FileSizeLimit limit(3);
    EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\Small"));
  }
  EXPECT_TRUE(fs::is_empty(c / "Small"));
  {
    // Not even the first line fits: the probe was created empty.
    const FileSizeLimit limit(1);
    EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\Small"));
  }
  EXPECT_TRUE(fs::is_empty(c / "Small"));
  EXPECT_FALSE(fso.IsThisRestricted(Drive('C') + "\\Small"));
}

TEST_F(ExistenceTest, IsThisRestrictedOnAReadOnlyFolder) {
  if (RunningAsSuperuser()) GTEST_SKIP() << "the superuser writes into read-only folders";
  fs::create_directories(c / "ReadOnly");
  fs::permissions(c / "ReadOnly", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(fso.IsThisRestricted(Drive('C') + "\\ReadOnly"));
  EXPECT_TRUE(fs::is_empty(c / "ReadOnly"));
}

#endif

}  // namespace
}  // namespace ravlin::testing

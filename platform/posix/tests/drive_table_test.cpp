#include "platform/posix/files/drive_table.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/posix/files/posix_drives.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/runtime/posix_environment.hpp"
#include "platform/runtime_error.hpp"
#include "tests/support/error_number.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

using testing::ErrorNumberOf;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

class DriveTableTest : public ::testing::Test {
 protected:
  TempDir c;
  TempDir d;
  std::string Mappings() const { return "C=" + c.path().string() + ";D=" + d.path().string(); }
};

TEST_F(DriveTableTest, ReadsMappingsAndKeepsTheDefaultDrive) {
  const DriveTable table(" c = " + c.path().string() + "/ ;;no-equals;1=/x;XY=/y;E=;" +
                         "d=" + d.path().string());
  EXPECT_EQ(table.Letters(), (std::vector<char>{'C', 'D', 'Z'}));
  EXPECT_EQ(table.RootOf('c'), c.path());
  EXPECT_EQ(table.RootOf('Z'), fs::path("/"));
  EXPECT_FALSE(table.RootOf('E'));

  const DriveTable replaced("Z=" + c.path().string());
  EXPECT_EQ(replaced.RootOf('Z'), c.path());
}

TEST_F(DriveTableTest, ToNativeFindsExistingComponentsIgnoringCase) {
  WriteFile(c / "WINDOWS/System32/CONFIG/SYSTEM", "hive");
  const DriveTable table(Mappings());

  EXPECT_EQ(table.ToNative("C:\\windows\\system32\\config\\system"),
            c / "WINDOWS/System32/CONFIG/SYSTEM");
  // Missing names keep the case given; nothing below them is looked up.
  EXPECT_EQ(table.ToNative("c:\\Windows\\System32\\Drivers\\ATAPI.sys"),
            c / "WINDOWS/System32/Drivers/ATAPI.sys");
  EXPECT_EQ(table.ToNative("C:\\\\windows\\\\system32\\"), c / "WINDOWS/System32");
  EXPECT_EQ(table.ToNative("C:/windows/system32"), c / "WINDOWS/System32");
  EXPECT_EQ(table.ToNative("C:"), c.path());
  EXPECT_EQ(table.ToNative("C:\\"), c.path());
  EXPECT_EQ(table.ToNative("C:\\..\\..\\etc"), c / "etc");
  EXPECT_EQ(table.ToNative("C:\\windows\\.\\..\\WINDOWS"), c / "WINDOWS");
  EXPECT_FALSE(table.ToNative("Q:\\x"));
  EXPECT_FALSE(table.ToNative("\\\\server\\share"));
  EXPECT_FALSE(table.ToNative("windows\\system32"));
  EXPECT_FALSE(table.ToNative("C"));
  EXPECT_FALSE(table.ToNative("1:\\x"));
}

TEST_F(DriveTableTest, ToNativePrefersTheExactNameAndFoldsAnsiLetters) {
  fs::create_directories(c / "data");
  fs::create_directories(c / "DATA");
  fs::create_directories(c / "Café");
  WriteFile(d / "ÉTÉ.TXT", "");
  const DriveTable table(Mappings());

  EXPECT_EQ(table.ToNative("C:\\data"), c / "data");
  EXPECT_EQ(table.ToNative("C:\\DATA"), c / "DATA");
  EXPECT_EQ(table.ToNative("C:\\Data"), c / "DATA");  // the first in name order
  EXPECT_EQ(table.ToNative("C:\\CAFÉ"), c / "Café");
  // A text in Windows-1252 still finds the name it means.
  EXPECT_EQ(table.ToNative("C:\\CAF\xC9"), c / "Café");
  EXPECT_EQ(table.ToNative("D:\\\xE9t\xE9.txt"), d / "ÉTÉ.TXT");
}

TEST_F(DriveTableTest, NamesInAnyLanguagePassUnchangedBothWays) {
  // A Cyrillic volume label, Greek, Polish and Chinese names, and a name in Latin-1 bytes
  // from a volume mounted without a character set.
  const std::vector<std::string> names{"Новый том", "Ελληνικά", "Łódź", "中文文件夹", "caf\xE9"};
  const DriveTable table(Mappings());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    fs::create_directories(c / name / "WINDOWS");
    EXPECT_EQ(table.ToWindows(c / name / "WINDOWS"), "C:\\" + name + "\\WINDOWS");
    EXPECT_EQ(table.ToNative("C:\\" + name + "\\windows"), c / name / "WINDOWS");
  }
  // Case is ignored in the alphabets of Europe, as NTFS ignores it.
  EXPECT_EQ(table.ToNative("C:\\НОВЫЙ ТОМ"), c / "Новый том");
  EXPECT_EQ(table.ToNative("C:\\ελληνικά"), c / "Ελληνικά");
  EXPECT_EQ(table.ToNative("C:\\łÓDŹ"), c / "Łódź");
  // Stray bytes that differ are different names.
  EXPECT_EQ(table.ToNative("C:\\caf\xE8"), c / "caf\xE8");
}

TEST_F(DriveTableTest, ToWindowsNamesTheLongestDrivePrefix) {
  fs::create_directories(c / "sub/deeper");
  const DriveTable table("C=" + c.path().string() + ";D=" + (c / "sub").string());

  EXPECT_EQ(table.ToWindows(c.path()), "C:\\");
  EXPECT_EQ(table.ToWindows(c / "x" / "y"), "C:\\x\\y");
  EXPECT_EQ(table.ToWindows(c / "sub"), "D:\\");
  EXPECT_EQ(table.ToWindows(c / "sub/deeper/"), "D:\\deeper");
  EXPECT_EQ(table.ToWindows(c / "subway"), "C:\\subway");
  EXPECT_EQ(table.ToWindows("/usr/bin"), "Z:\\usr\\bin");
  EXPECT_EQ(table.ToWindows("/"), "Z:\\");
  EXPECT_EQ(table.ToWindows(c / "Café"), "C:\\Café");
}

TEST_F(DriveTableTest, ToWindowsFollowsLinksIntoADrive) {
  fs::create_directories(c / "WINDOWS");
  fs::create_symlink(c.path(), d / "link");
  const DriveTable table("C=" + c.path().string() + ";Z=" + (d / "nowhere").string());
  EXPECT_EQ(table.ToWindows(d / "link" / "WINDOWS"), "C:\\WINDOWS");
  EXPECT_EQ(table.ToWindows("/proc"), "");
}

TEST_F(DriveTableTest, ResolveNativeReadsPathsWithoutDrive) {
  fs::create_directories(c / "Work/Sub");
  const DriveTable table(Mappings());
  const fs::path previous = fs::current_path();
  fs::current_path(c / "Work");
  const auto relative = table.ResolveNative("sub");
  const auto rooted = table.ResolveNative("\\work");
  const auto network = table.ResolveNative("\\\\server\\share\\x");
  fs::current_path(previous);

  EXPECT_EQ(relative, c / "Work/Sub");
  EXPECT_EQ(rooted, c / "Work");
  EXPECT_FALSE(network);
}

// The type the mount table should give, found another way: the file system's magic number.
std::int32_t ExpectedTypeOf(const fs::path& folder) {
  struct statfs info {};
  if (::statfs(folder.c_str(), &info) != 0) return -1;
  constexpr long kTmpfs = 0x01021994;
  constexpr long kRamfs = static_cast<long>(0x858458f6);
  constexpr long kNfs = 0x6969;
  constexpr long kSmb2 = static_cast<long>(0xFE534D42);
  constexpr long kCifs = static_cast<long>(0xFF534D42);
  constexpr long kIso9660 = 0x9660;
  if (info.f_type == kTmpfs || info.f_type == kRamfs) return 5;
  if (info.f_type == kNfs || info.f_type == kSmb2 || info.f_type == kCifs) return 3;
  if (info.f_type == kIso9660) return 4;
  return 2;
}

TEST_F(DriveTableTest, TypeComesFromTheMountThatHoldsTheFolder) {
  const DriveTable table(Mappings() + ";P=/proc;S=/dev/shm;M=" + (c / "missing").string());
  EXPECT_EQ(table.TypeOf('P'), 2);  // proc is neither network, optical nor RAM
  if (fs::is_directory("/dev/shm")) {
    EXPECT_EQ(table.TypeOf('S'), ExpectedTypeOf("/dev/shm"));
  }
  EXPECT_EQ(table.TypeOf('C'), ExpectedTypeOf(c.path()));
  EXPECT_EQ(table.TypeOf('M'), ExpectedTypeOf(c.path()));  // the mount that would hold it
  EXPECT_EQ(table.TypeOf('Q'), 0);
}

TEST_F(DriveTableTest, ReadyWhenTheFolderCanBeRead) {
  fs::create_directories(c / "locked");
  WriteFile(c / "file", "");
  const DriveTable table(Mappings() + ";M=" + (c / "missing").string() +
                         ";L=" + (c / "locked").string() + ";F=" + (c / "file").string());
  EXPECT_TRUE(table.IsReady('C'));
  EXPECT_FALSE(table.IsReady('M'));
  EXPECT_FALSE(table.IsReady('F'));  // a file is no drive
  EXPECT_FALSE(table.IsReady('Q'));
  fs::permissions(c / "locked", fs::perms::none);
  if (::geteuid() != 0) {
    EXPECT_FALSE(table.IsReady('L'));  // the superuser reads every folder
  }
}

TEST_F(DriveTableTest, LogicalDriveStringsHaveTheSystemLayout) {
  PosixDrives drives(std::make_shared<const DriveTable>(Mappings()));
  std::string buffer(260, ' ');
  EXPECT_EQ(drives.GetLogicalDriveStringsA(260, buffer), 12u);
  EXPECT_EQ(buffer.size(), 260u);
  EXPECT_EQ(buffer.substr(0, 14), std::string("C:\\\0D:\\\0Z:\\\0\0 ", 14));
  EXPECT_EQ(buffer.find_first_not_of(' ', 13), std::string::npos);

  std::string small(12, ' ');
  EXPECT_EQ(drives.GetLogicalDriveStringsA(12, small), 13u);  // the size needed
  EXPECT_EQ(small, std::string(12, ' '));
}

TEST_F(DriveTableTest, DrivesTranslateBothWays) {
  fs::create_directories(c / "WINDOWS");
  PosixDrives drives(std::make_shared<const DriveTable>(Mappings()));
  EXPECT_EQ(drives.ToDrivePath(c / "WINDOWS"), "C:\\WINDOWS");
  EXPECT_EQ(drives.ToNativePath("c:\\windows"), c / "WINDOWS");
  EXPECT_FALSE(drives.ToNativePath("\\\\server\\share"));
}

TEST_F(DriveTableTest, EnvironmentSpeaksAnsiAndIgnoresTheCaseOfNames) {
  const auto table = std::make_shared<const DriveTable>(Mappings());
  ScopedEnv windir("RAVLIN_TEST_WINDIR", "C:\\Café");
  ScopedEnv unset("RAVLIN_TEST_UNSET", std::nullopt);
  PosixEnvironment environment(table, c / "bin");

  EXPECT_EQ(environment.GetEnvironmentVariable("RAVLIN_TEST_WINDIR"), "C:\\Café");
  EXPECT_EQ(environment.GetEnvironmentVariable("ravlin_test_windir"), "C:\\Café");
  EXPECT_FALSE(environment.GetEnvironmentVariable("RAVLIN_TEST_UNSET"));
  EXPECT_FALSE(environment.GetEnvironmentVariable(""));
  EXPECT_EQ(environment.ProgramFolder(), "C:\\bin");
  EXPECT_EQ(PosixEnvironment(table, c.path()).ProgramFolder(), "C:\\");
}

class PosixFileServiceTest : public DriveTableTest {
 protected:
  PosixFileService files{std::make_shared<const DriveTable>(Mappings() + ";M=/nonexistent/x")};
};

TEST_F(PosixFileServiceTest, DriveQueries) {
  EXPECT_TRUE(files.DriveExists("C:"));
  EXPECT_TRUE(files.DriveExists("c:\\"));
  EXPECT_TRUE(files.DriveExists("c"));
  EXPECT_TRUE(files.DriveExists("M:"));  // present, though not ready
  EXPECT_FALSE(files.DriveExists("Q:"));
  EXPECT_FALSE(files.DriveExists("C:\\Windows"));
  EXPECT_FALSE(files.DriveExists(""));
  EXPECT_TRUE(files.DriveIsReady("C:"));
  EXPECT_FALSE(files.DriveIsReady("M:"));
  EXPECT_EQ(ErrorNumberOf([&] { files.DriveIsReady("Q:"); }), 68);
  EXPECT_EQ(ErrorNumberOf([&] { files.DriveType("Q:"); }), 68);
  EXPECT_EQ(ErrorNumberOf([&] { files.DriveType("C:\\x"); }), 5);
}

TEST_F(PosixFileServiceTest, ExistenceOfFilesAndFolders) {
  WriteFile(c / "Folder/file.txt", "x");
  EXPECT_TRUE(files.FileExists("C:\\FOLDER\\FILE.TXT"));
  EXPECT_FALSE(files.FileExists("C:\\folder"));
  EXPECT_FALSE(files.FileExists("C:\\folder\\*.txt"));
  EXPECT_FALSE(files.FileExists("C:\\folder\\file.tx?"));
  EXPECT_TRUE(files.FolderExists("C:\\folder"));
  EXPECT_TRUE(files.FolderExists("C:"));
  EXPECT_FALSE(files.FolderExists("M:"));
  EXPECT_FALSE(files.FolderExists("C:\\folder\\file.txt"));
  EXPECT_FALSE(files.FolderExists("C:\\fold*"));
}

TEST_F(PosixFileServiceTest, CreateFolderMakesOneFolderOnly) {
  fs::create_directories(c / "Parent");
  files.CreateFolder("C:\\parent\\NewOne");
  EXPECT_TRUE(fs::is_directory(c / "Parent/NewOne"));
  EXPECT_EQ(ErrorNumberOf([&] { files.CreateFolder("C:\\PARENT\\newone"); }), 58);
  EXPECT_EQ(ErrorNumberOf([&] { files.CreateFolder("C:\\missing\\child"); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { files.CreateFolder("Q:\\x"); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { files.CreateFolder(""); }), 5);
  EXPECT_FALSE(fs::exists(c / "missing"));
}

TEST_F(PosixFileServiceTest, NormalFileMatchesSkipsHiddenFilesAndFolders) {
  WriteFile(c / "dir/README", "");
  WriteFile(c / "dir/.profile", "");
  fs::create_directories(c / "dir/sub.sys");
  WriteFile(c / "dir/pagefile.sys", "");
  // Samba's form of the DOS attributes: hidden and system.
  const bool xattrs =
      ::setxattr((c / "dir/pagefile.sys").c_str(), "user.DOSATTRIB", "0x6", 3, 0) == 0;
  if (!xattrs) {
    ASSERT_EQ(errno, ENOTSUP);
  }
  EXPECT_TRUE(files.NormalFileMatches("C:\\DIR\\readme"));
  EXPECT_TRUE(files.NormalFileMatches("C:\\dir\\*.*"));  // also names without a dot
  EXPECT_TRUE(files.NormalFileMatches("C:\\dir\\R?AD*"));
  EXPECT_FALSE(files.NormalFileMatches("C:\\dir\\.profile"));
  if (xattrs) {
    EXPECT_FALSE(files.NormalFileMatches("C:\\dir\\*.sys"));  // hidden and system
  }
  EXPECT_FALSE(files.NormalFileMatches("C:\\dir\\sub.*"));
  EXPECT_FALSE(files.NormalFileMatches("C:\\dir\\README.txt"));
  EXPECT_FALSE(files.NormalFileMatches("C:\\nowhere\\*"));
}

TEST_F(PosixFileServiceTest, WriteTextAndDeleteFile) {
  files.WriteText("C:\\probe.txt", "X\r\n", false);
  files.WriteText("C:\\PROBE.TXT", "ABC\r\n", true);
  EXPECT_EQ(testing::ReadFile(c / "probe.txt"), "X\r\nABC\r\n");
  files.WriteText("C:\\probe.txt", "new", false);
  EXPECT_EQ(testing::ReadFile(c / "probe.txt"), "new");
  files.DeleteFile("c:\\Probe.Txt");
  EXPECT_FALSE(fs::exists(c / "probe.txt"));

  EXPECT_EQ(ErrorNumberOf([&] { files.DeleteFile("C:\\probe.txt"); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { files.WriteText("C:\\missing\\f", "", false); }), 76);
  fs::create_directories(c / "folder");
  EXPECT_EQ(ErrorNumberOf([&] { files.WriteText("C:\\folder", "", false); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { files.DeleteFile("C:\\folder"); }), 53);
  EXPECT_TRUE(fs::is_directory(c / "folder"));
}

}  // namespace
}  // namespace ravlin

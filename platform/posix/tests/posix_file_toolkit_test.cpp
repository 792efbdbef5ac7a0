#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "platform/posix/files/dos_attributes.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/posix_file_attributes.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/files/posix_temp_files.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "platform/posix/shell/posix_shell.hpp"
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

class PosixToolkitTest : public ::testing::Test {
 protected:
  TempDir temp;
  std::shared_ptr<const DriveTable> drives =
      std::make_shared<const DriveTable>("C=" + temp.path().string());
  PosixFileService files{drives};
  PosixFileAttributes attributes{drives};

  bool ExtendedAttributesWork() {
    WriteFile(temp / ".probe", "");
    const bool works = ::setxattr((temp / ".probe").c_str(), "user.ravlin-probe", "1", 1, 0) == 0;
    fs::remove(temp / ".probe");
    return works;
  }
};

TEST_F(PosixToolkitTest, AttributesFollowPermissionsTypeAndDotNames) {
  WriteFile(temp / "plain.txt", "x");
  WriteFile(temp / ".profile", "x");
  fs::create_directory(temp / "dir");
  EXPECT_EQ(attributes.GetAttr("C:\\plain.txt"), 32);
  EXPECT_EQ(attributes.GetAttr("C:\\.profile"), 34);
  EXPECT_EQ(attributes.GetAttr("C:\\DIR"), 16);
  fs::permissions(temp / "plain.txt", fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(attributes.GetAttr("C:\\plain.txt"), 33);
  attributes.SetAttr("C:\\plain.txt", 0);
  EXPECT_TRUE((fs::status(temp / "plain.txt").permissions() & fs::perms::owner_write) !=
              fs::perms::none);
  EXPECT_EQ(ErrorNumberOf([&] { attributes.GetAttr("C:\\missing"); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { attributes.GetAttr("C:\\*.txt"); }), 52);
}

TEST_F(PosixToolkitTest, HiddenSystemArchiveLiveInSambasAttribute) {
  if (!ExtendedAttributesWork()) GTEST_SKIP() << "no user extended attributes here";
  WriteFile(temp / "f.sys", "x");
  attributes.SetAttr("C:\\f.sys", 1 | 2 | 4);
  EXPECT_EQ(attributes.GetAttr("C:\\f.sys"), 7);
  char value[32] = {};
  const ssize_t length = ::getxattr((temp / "f.sys").c_str(), "user.DOSATTRIB", value, 31);
  EXPECT_EQ(std::string(value, static_cast<std::size_t>(length)), "0x7");
  attributes.SetAttr("C:\\f.sys", 0);
  EXPECT_EQ(attributes.GetAttr("C:\\f.sys"), 0);
  // Newer Samba versions put a binary record after the hexadecimal text.
  const std::string samba("0x22\0\x03\x00\x03\x00\x11\x00", 12);
  ASSERT_EQ(::setxattr((temp / "f.sys").c_str(), "user.DOSATTRIB", samba.data(), samba.size(), 0),
            0);
  EXPECT_EQ(attributes.GetAttr("C:\\f.sys"), 34);
}

TEST_F(PosixToolkitTest, ReadOnlyFilesAreNotDeletedUntilCleared) {
  WriteFile(temp / "ro.txt", "x");
  attributes.SetAttr("C:\\ro.txt", 1);
  EXPECT_FALSE(attributes.DeleteFileA("C:\\ro.txt"));
  EXPECT_EQ(ErrorNumberOf([&] { attributes.Kill("C:\\ro.txt"); }), 70);
  EXPECT_TRUE(fs::exists(temp / "ro.txt"));
  EXPECT_TRUE(attributes.SetFileAttributesA("C:\\ro.txt", 32));
  EXPECT_TRUE(attributes.DeleteFileA("C:\\ro.txt"));
  EXPECT_FALSE(fs::exists(temp / "ro.txt"));
  EXPECT_FALSE(attributes.DeleteFileA("C:\\ro.txt"));
  fs::create_directory(temp / "dir");
  EXPECT_FALSE(attributes.DeleteFileA("C:\\dir"));
}

TEST_F(PosixToolkitTest, FolderListingIsSortedLikeNtfsAndSkipsWhatIsNoFile) {
  WriteFile(temp / "d/b.txt", "");
  WriteFile(temp / "d/A.txt", "");
  WriteFile(temp / "d/c.txt", "");
  fs::create_directory(temp / "d/Zeta");
  fs::create_directory(temp / "d/alpha");
  fs::create_symlink(temp / "d/c.txt", temp / "d/link-to-file");
  fs::create_directory_symlink(temp / "d", temp / "d/loop");
  ASSERT_EQ(::mkfifo((temp / "d/pipe").c_str(), 0600), 0);
  const FolderListing listing = files.GetFolder("c:\\D\\");
  EXPECT_EQ(listing.files, (std::vector<std::string>{"C:\\d\\A.txt", "C:\\d\\b.txt", "C:\\d\\c.txt",
                                                     "C:\\d\\link-to-file"}));
  EXPECT_EQ(listing.subFolders, (std::vector<std::string>{"C:\\d\\alpha", "C:\\d\\Zeta"}));
  EXPECT_EQ(files.GetFolder("C:\\").subFolders, (std::vector<std::string>{"C:\\d"}));
  EXPECT_EQ(ErrorNumberOf([&] { files.GetFolder("C:\\d\\b.txt"); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { files.ReadAllText("C:\\d\\pipe"); }), 75);
}

TEST_F(PosixToolkitTest, CopyKeepsTimesAndPermissionsAndRefusesToEatItself) {
  WriteFile(temp / "src.bin", "payload");
  const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(1000);
  fs::last_write_time(temp / "src.bin", stamp);
  files.CopyFile("C:\\src.bin", "C:\\copy.bin", true);
  EXPECT_EQ(testing::ReadFile(temp / "copy.bin"), "payload");
  EXPECT_EQ(fs::last_write_time(temp / "copy.bin"), stamp);
  EXPECT_EQ(ErrorNumberOf([&] { files.CopyFile("C:\\src.bin", "C:\\copy.bin", false); }), 58);
  EXPECT_EQ(ErrorNumberOf([&] { files.CopyFile("C:\\src.bin", "C:\\SRC.BIN", true); }), 70);
  EXPECT_EQ(testing::ReadFile(temp / "src.bin"), "payload");
  EXPECT_EQ(ErrorNumberOf([&] { files.CopyFile("C:\\src.bin", "C:\\nowhere\\x.bin", true); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { files.CopyFile("C:\\src.bin", "C:\\nowhere\\", true); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { files.CopyFile("C:\\*.bin", "C:\\x.bin", true); }), 53);
  // No temporary file is left behind.
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(temp.path())) entries += entry.exists() ? 1 : 0;
  EXPECT_EQ(entries, 2u);
}

TEST_F(PosixToolkitTest, MoveNeverReplacesAndDeleteFolderSparesDriveRoots) {
  WriteFile(temp / "a.txt", "a");
  WriteFile(temp / "B.TXT", "b");
  EXPECT_EQ(ErrorNumberOf([&] { files.MoveFile("C:\\a.txt", "C:\\b.txt"); }), 58);
  files.MoveFile("C:\\a.txt", "C:\\c.txt");
  EXPECT_EQ(testing::ReadFile(temp / "c.txt"), "a");
  EXPECT_FALSE(fs::exists(temp / "a.txt"));
  EXPECT_EQ(ErrorNumberOf([&] { files.DeleteFolder("C:\\", true); }), 70);
  EXPECT_EQ(ErrorNumberOf([&] { files.DeleteFolder("C:", true); }), 70);
  EXPECT_EQ(ErrorNumberOf([&] { files.DeleteFolder("C:\\c.txt", true); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { files.DeleteFolder("C:\\missing", true); }), 76);
  EXPECT_TRUE(fs::exists(temp / "c.txt"));
}

TEST_F(PosixToolkitTest, TemporaryNamesAreCreatedExclusively) {
  fs::create_directory(temp / "tmp");
  ScopedEnv tmpdir("TMPDIR", (temp / "tmp").string());
  PosixTempFiles temps(drives);
  std::string buffer(260, ' ');
  EXPECT_EQ(temps.GetTempPathA(260, buffer), 7u);
  EXPECT_EQ(buffer, "C:\\tmp\\");
  std::string small = "untouched";
  EXPECT_EQ(temps.GetTempPathA(5, small), 8u);
  EXPECT_EQ(small, "untouched");

  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name;
    ASSERT_NE(temps.GetTempFileNameA("C:\\tmp", "_abcdef", 0, name), 0u);
    EXPECT_TRUE(name.starts_with("C:\\tmp\\_ab")) << name;
    EXPECT_TRUE(name.ends_with(".TMP")) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  std::size_t onDisk = 0;
  for (const auto& entry : fs::directory_iterator(temp / "tmp")) onDisk += entry.exists() ? 1 : 0;
  EXPECT_EQ(onDisk, 50u);

  std::string named;
  EXPECT_EQ(temps.GetTempFileNameA("C:\\tmp\\", "xyz", 0x1A2B, named), 0x1A2Bu);
  EXPECT_EQ(named, "C:\\tmp\\xyz1A2B.TMP");
  EXPECT_FALSE(fs::exists(temp / "tmp/xyz1A2B.TMP"));
  std::string missing = "kept";
  EXPECT_EQ(temps.GetTempFileNameA("C:\\no-such-folder", "abc", 0, missing), 0u);
  EXPECT_EQ(missing, "kept");
}

// What killed runs left: files no process holds go, held ones and look-alikes stay.
TEST_F(PosixToolkitTest, LeftoversOfKilledRunsAreRemovedUnlessALiveProcessHoldsThem) {
  const fs::path drivers = temp / "drivers";
  fs::create_directories(drivers);
  WriteFile(temp / "atapi.sys", "driver");
  for (const char* name : {".~ravlin-0badc0de", ".~ravlin-12345678"})
    WriteFile(drivers / name, "x");
  for (const char* name : {".~ravlin-1234", ".~ravlin-0BADC0DE", "~ravlin-12345678"})
    WriteFile(drivers / name, "keep");
  const UniqueFd held(::open((drivers / ".~ravlin-12345678").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);
  files.CopyFile("C:\\atapi.sys", "C:\\drivers\\", false);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(drivers)) left.insert(entry.path().filename());
  EXPECT_EQ(left, (std::set<std::string>{"atapi.sys", ".~ravlin-12345678", ".~ravlin-1234",
                                         ".~ravlin-0BADC0DE", "~ravlin-12345678"}));

  // Scratch folders in the temporary folder, each reserved by its file.
  const fs::path tmp = temp / "tmp";
  fs::create_directories(tmp);
  ScopedEnv tmpdir("TMPDIR", tmp.string());
  PosixTempFiles temps(drives);
  std::string live;
  ASSERT_NE(temps.GetTempFileNameA("C:\\tmp", "rav", 0, live), 0u);
  const auto hold = temps.HoldTempFile(live);
  ASSERT_NE(hold, nullptr);
  const fs::path liveFile = tmp / fs::path(live.substr(live.rfind('\\') + 1));
  for (const fs::path& reservation : {liveFile, tmp / "rav1F.TMP", tmp / "abc2.TMP"}) {
    WriteFile(reservation.string() + ".d/staged/atapi.sys", "x");
    if (!fs::exists(reservation)) WriteFile(reservation, "");
  }
  WriteFile(tmp / "rav3.TMP", "");  // a killed run's reservation without its folder
  WriteFile(tmp / "rav5.TMP", "not a reservation: it has content");
  fs::create_directory_symlink(temp / "drivers", tmp / "rav4.TMP.d");
  WriteFile(tmp / "rav4.TMP", "");
  temps.RemoveUnheldScratch("rav");
  left.clear();
  for (const auto& entry : fs::directory_iterator(tmp)) left.insert(entry.path().filename());
  const std::string liveName = liveFile.filename();
  EXPECT_EQ(left, (std::set<std::string>{liveName, liveName + ".d", "abc2.TMP", "abc2.TMP.d",
                                         "rav5.TMP", "rav4.TMP.d"}));
  EXPECT_TRUE(fs::exists(drivers / "atapi.sys"));
}

TEST_F(PosixToolkitTest, DesktopAsksTheFileManagerWithoutWaiting) {
  // A stand-in gdbus that records its arguments once the test has gone on.
  const fs::path bin = temp / "bin";
  const fs::path release = temp / "release";
  const fs::path record = temp / "record";
  WriteFile(bin / "gdbus",
            "#!/bin/sh\n"
            "i=0\n"
            "while [ ! -e '" +
                release.string() +
                "' ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done\n"
                "[ -e '" +
                release.string() + "' ] || echo waited >> '" + record.string() +
                ".tmp'\n"
                "for a in \"$@\"; do echo \"$a\" >> '" +
                record.string() +
                ".tmp'; done\n"
                "mv '" +
                record.string() + ".tmp' '" + record.string() + "'\n");
  fs::permissions(bin / "gdbus", fs::perms::owner_all);
  WriteFile(temp / "my file.txt", "x");
  const char* path = std::getenv("PATH");
  ScopedEnv searchPath("PATH", bin.string() + ":" + (path != nullptr ? path : ""));
  ScopedEnv display("DISPLAY", ":99");
  std::ostringstream console;
  PosixShell shell(drives, console);
  shell.ShowProperties("C:\\MY FILE.TXT");
  WriteFile(release, "");
  for (int i = 0; i < 200 && !fs::exists(record); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(fs::exists(record));
  const std::string expected =
      "call\n--session\n--dest\norg.freedesktop.FileManager1\n--object-path\n"
      "/org/freedesktop/FileManager1\n--method\norg.freedesktop.FileManager1.ShowItemProperties\n"
      "['" +
      FileUri((temp / "my file.txt").string()) + "']\n\n";
  EXPECT_EQ(testing::ReadFile(record), expected);
  EXPECT_NE(expected.find("my%20file.txt"), std::string::npos);
  EXPECT_EQ(console.str(), "");
}

}  // namespace
}  // namespace ravlin

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/guest_root.hpp"
#include "platform/posix/files/posix_file_attributes.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/files/posix_temp_files.hpp"
#include "tests/support/error_number.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

using testing::ErrorNumberOf;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A guest C:\WINDOWS on drive C whose drivers folder is a link to a folder outside it, with
// the file services of one platform sharing the chosen guest.
class GuestChangesTest : public ::testing::Test {
 protected:
  GuestChangesTest() {
    WriteFile(drive / "source.sys", "driver");
    WriteFile(outside / "kept.txt", "outside");
    fs::create_directories(windows / "system32");
    fs::create_directory_symlink(outside, windows / "system32" / "drivers");
    fs::create_directory_symlink("system32", windows / "inf");
    fs::create_symlink(outside / "kept.txt", windows / "setup.log");
  }

  // Which entries the outside folder holds, so that a test sees any write there.
  std::vector<std::string> OutsideEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(outside))
      names.push_back(entry.path().filename().string());
    return names;
  }

  TempDir temp;
  fs::path drive = temp / "c";
  fs::path windows = drive / "WINDOWS";
  fs::path outside = temp / "elsewhere";
  std::shared_ptr<const DriveTable> drives =
      std::make_shared<const DriveTable>("C=" + drive.string());
  std::shared_ptr<GuestRoot> guest = std::make_shared<GuestRoot>();
  PosixFileService files{drives, guest};
  PosixFileAttributes attributes{drives, guest};
  PosixTempFiles temps{drives, guest};
};

TEST_F(GuestChangesTest, LinksOutOfTheChosenGuestAreRefusedAndNothingIsWritten) {
  files.ConfineChangesBeneath("C:\\windows");
  const fs::perms before = fs::status(outside).permissions();

  EXPECT_EQ(ErrorNumberOf([&] {
              files.CopyFile("C:\\source.sys", "C:\\WINDOWS\\system32\\drivers\\", true);
            }),
            75);
  EXPECT_EQ(ErrorNumberOf([&] { files.CreateFolder("C:\\WINDOWS\\system32\\drivers\\sub"); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { files.WriteText("C:\\WINDOWS\\setup.log", "x", false); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { files.WriteText("C:\\WINDOWS\\System32\\Drivers\\a", "x", true); }),
            75);
  EXPECT_EQ(ErrorNumberOf([&] {
              files.MoveFile("C:\\source.sys", "C:\\WINDOWS\\system32\\drivers\\moved.sys");
            }),
            75);
  EXPECT_EQ(ErrorNumberOf([&] { files.DeleteFile("C:\\WINDOWS\\system32\\drivers\\kept.txt"); }),
            75);
  EXPECT_EQ(ErrorNumberOf([&] { attributes.Kill("C:\\WINDOWS\\system32\\drivers\\kept.txt"); }),
            75);
  EXPECT_EQ(ErrorNumberOf([&] { attributes.SetAttr("C:\\WINDOWS\\system32\\drivers\\", 1); }), 75);
  std::string name = "kept";
  EXPECT_EQ(temps.GetTempFileNameA("C:\\WINDOWS\\system32\\drivers", "tmp", 0, name), 0u);
  EXPECT_EQ(name, "kept");

  EXPECT_EQ(OutsideEntries(), std::vector<std::string>{"kept.txt"});
  EXPECT_EQ(ReadFile(outside / "kept.txt"), "outside");
  EXPECT_EQ(fs::status(outside).permissions(), before);
  EXPECT_TRUE(fs::exists(drive / "source.sys"));
}

TEST_F(GuestChangesTest, ChangesInsideTheGuestAndOutsideItWorkAsBefore) {
  files.ConfineChangesBeneath("C:\\WINDOWS");
  // A link that stays inside the guest is followed.
  files.CopyFile("C:\\source.sys", "C:\\WINDOWS\\inf\\", true);
  EXPECT_EQ(ReadFile(windows / "system32" / "source.sys"), "driver");
  attributes.SetAttr("C:\\WINDOWS\\inf\\source.sys", 1);
  EXPECT_EQ(fs::status(windows / "system32" / "source.sys").permissions() & fs::perms::owner_write,
            fs::perms::none);
  std::string name;
  ASSERT_NE(temps.GetTempFileNameA("C:\\WINDOWS\\inf", "tmp", 0, name), 0u);
  EXPECT_TRUE(fs::exists(windows / "system32" / name.substr(name.rfind('\\') + 1)));
  files.CreateFolder("C:\\WINDOWS\\inf\\drivers2");
  EXPECT_TRUE(fs::is_directory(windows / "system32" / "drivers2"));
  // The link itself is an entry of the guest: deleting it leaves what it leads to.
  files.DeleteFile("C:\\WINDOWS\\setup.log");
  EXPECT_FALSE(fs::is_symlink(windows / "setup.log"));
  EXPECT_EQ(ReadFile(outside / "kept.txt"), "outside");

  // Outside the guest the services follow links as ever.
  fs::create_directory_symlink(outside, drive / "shortcut");
  files.CopyFile("C:\\source.sys", "C:\\shortcut\\", true);
  EXPECT_EQ(ReadFile(outside / "source.sys"), "driver");
}

TEST_F(GuestChangesTest, WithoutAChosenGuestLinksAreFollowed) {
  files.CopyFile("C:\\source.sys", "C:\\WINDOWS\\system32\\drivers\\", true);
  EXPECT_EQ(ReadFile(outside / "source.sys"), "driver");
}

}  // namespace
}  // namespace ravlin

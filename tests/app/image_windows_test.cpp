#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/image_windows.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

void MakeWindows(const fs::path& folder) {
  WriteFile(folder / "System32" / "CONFIG" / "system", "regf");
}

TEST(ImageWindowsFolders, FoldersAreFoundIgnoringCaseOnlyOnTheVolumeAndOnlyWithAHive) {
  TempDir temp;
  const fs::path volume = temp / "volume";
  MakeWindows(volume / "windows");
  MakeWindows(volume / "Xp Pro");
  // A folder without its hive, a link leading off the volume, and a name climbing out.
  WriteFile(volume / "WINNT" / "system32" / "drivers" / "atapi.sys", "");
  MakeWindows(temp / "outside");
  fs::create_directory_symlink(temp / "outside", volume / "Linked");
  WriteFile(volume / "BOOT.INI",
            "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
            "[operating systems]\r\n"
            "multi(0)disk(0)rdisk(0)partition(1)\\XP PRO=\"Second\" /fastdetect\r\n"
            "multi(0)disk(0)rdisk(0)partition(1)\\LINKED=\"Linked\"\r\n"
            "multi(0)disk(0)rdisk(0)partition(1)\\..\\outside=\"Outside\"\r\n");

  const auto folders = FindWindowsFolders(volume);
  ASSERT_EQ(folders.size(), 2u);
  EXPECT_EQ(folders[0], volume / "windows");
  EXPECT_EQ(folders[1], volume / "Xp Pro");

  EXPECT_EQ(FindIgnoringCase(volume, "WINDOWS/system32/config/SYSTEM"),
            volume / "windows" / "System32" / "CONFIG" / "system");
  EXPECT_TRUE(FindIgnoringCase(volume, "linked/system32").empty());
  EXPECT_TRUE(FindIgnoringCase(volume, "../outside").empty());
  EXPECT_TRUE(FindWindowsFolders(temp / "missing").empty());
}

}  // namespace
}  // namespace ravlin

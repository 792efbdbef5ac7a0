#include "platform/posix/files/posix_profiles.hpp"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Settings files on a temporary drive C:.
class PosixProfilesTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue = "def", std::uint32_t size = 255,
                   const std::string& file = "C:\\cfg\\app.ini") {
    std::string returned = "stale";
    const auto count =
        profiles_.GetPrivateProfileStringA(section, key, defaultValue, returned, size, file);
    EXPECT_EQ(count, returned.size());
    return returned;
  }
  std::int32_t ReadInt(const std::string& key, std::int32_t defaultValue = -5) {
    return profiles_.GetPrivateProfileIntA("Main", key, defaultValue, "C:\\cfg\\app.ini");
  }
  bool Write(const std::string& section, const std::string& key, const std::string& value,
             const std::string& file = "C:\\cfg\\app.ini") {
    return profiles_.WritePrivateProfileStringA(section, key, value, file);
  }

  TempDir drive_;
  fs::path file_ = drive_ / "cfg" / "app.ini";
  PosixProfiles profiles_{std::make_shared<const DriveTable>("C=" + drive_.path().string())};
};

TEST_F(PosixProfilesTest, ReadsByWindowsRules) {
  WriteFile(file_,
            "[Main]\r\nName = '  single  ' \r\nHalf=\"open\r\nBare line\r\nName=second\r\n"
            "Long=" +
                std::string(300, 'y') + "\r\n[\xC4rger]\r\nKey=latin\r\n[main]\r\nName=dup\r\n");

  // Names ignore case (Windows-1252 letters too) and surrounding blanks; the first section
  // and the first entry of a name win; one pair of matching quotes goes.
  EXPECT_EQ(Read(" MAIN ", "name"), "  single  ");
  EXPECT_EQ(Read("\xE4RGER", "key"), "latin");
  EXPECT_EQ(Read("Main", "Half"), "\"open");
  EXPECT_EQ(Read("Main", "Bare line"), "def");
  // The path's folders and file are found ignoring case too.
  EXPECT_EQ(Read("Main", "Name", "def", 255, "c:\\CFG\\APP.INI"), "  single  ");
  // A missing entry, section or file gives the default without its trailing blanks.
  EXPECT_EQ(Read("Main", "Missing", "fallback  "), "fallback");
  EXPECT_EQ(Read("Nowhere", "Name"), "def");
  EXPECT_EQ(Read("Main", "Name", "def", 255, "C:\\cfg\\missing.ini"), "def");
  // The buffer holds size - 1 characters.
  EXPECT_EQ(Read("Main", "Long"), std::string(254, 'y'));
  EXPECT_EQ(Read("Main", "Long", "def", 10), std::string(9, 'y'));
  EXPECT_EQ(Read("Main", "Long", "def", 0), "");
}

TEST_F(PosixProfilesTest, ReadsIntegersLikeWindows) {
  WriteFile(file_,
            "[Main]\r\nDigits=42abc\r\nNegative= -17\r\nPlus=+8\r\nHex=0x1A\r\nWord=abc\r\n"
            "Empty=\r\nWrapped=4294967295\r\nQuoted=\"12\"\r\n");
  EXPECT_EQ(ReadInt("Digits"), 42);
  EXPECT_EQ(ReadInt("Negative"), -17);
  EXPECT_EQ(ReadInt("Plus"), 8);
  EXPECT_EQ(ReadInt("Hex"), 26);
  EXPECT_EQ(ReadInt("Word"), 0);
  EXPECT_EQ(ReadInt("Wrapped"), -1);
  EXPECT_EQ(ReadInt("Quoted"), 12);
  EXPECT_EQ(ReadInt("Empty"), -5);
  EXPECT_EQ(ReadInt("Missing"), -5);
}

TEST_F(PosixProfilesTest, WriteCreatesTheFileAndSectionsAndKeepsEveryOtherLine) {
  // Like Windows, a write creates the file but not its folder.
  EXPECT_FALSE(Write("Main", "Key", "Value", "C:\\cfg\\new.ini"));
  fs::create_directories(file_.parent_path());
  EXPECT_TRUE(Write("Main", "Key", "Value", "C:\\cfg\\new.ini"));
  EXPECT_EQ(ReadFile(drive_ / "cfg" / "new.ini"), "[Main]\r\nKey=Value\r\n");

  WriteFile(file_,
            "; keep me\r\n[Main]\r\nName = old ; not a comment\r\nOther=1\r\n\r\n[Tail]\r\nX=y");
  EXPECT_TRUE(Write("MAIN", "name", "new"));
  EXPECT_TRUE(Write("Main", "Added", "2"));
  EXPECT_TRUE(Write("Fresh", "A", "b"));
  EXPECT_EQ(ReadFile(file_),
            "; keep me\r\n[Main]\r\nName=new\r\nOther=1\r\nAdded=2\r\n\r\n[Tail]\r\nX=y\r\n\r\n"
            "[Fresh]\r\nA=b\r\n");
  EXPECT_EQ(Read("Main", "Added"), "2");

  // A file with bare line feeds keeps them.
  WriteFile(drive_ / "cfg" / "unix.ini", "[Main]\nA=1\n");
  EXPECT_TRUE(Write("Main", "B", "2", "C:\\CFG\\UNIX.INI"));
  EXPECT_EQ(ReadFile(drive_ / "cfg" / "unix.ini"), "[Main]\nA=1\nB=2\n");
  EXPECT_FALSE(fs::exists(drive_ / "CFG"));
}

TEST_F(PosixProfilesTest, WriteRefusesWhatWouldDamageOrMisplaceTheFile) {
  const std::string original = "[Main]\r\nA=1\r\n";
  WriteFile(file_, original);
  EXPECT_FALSE(Write("Main", "A", "1\r\n[Forged]\r\nB=2"));
  EXPECT_FALSE(Write("Main\n", "A", "2"));
  EXPECT_FALSE(Write("Main", "A", "2", "C:\\cfg\\*.ini"));
  EXPECT_FALSE(Write("Main", "A", "2", "C:\\cfg"));
  EXPECT_EQ(ReadFile(file_), original);
  EXPECT_FALSE(fs::exists(drive_ / "cfg" / "*.ini"));
}

TEST_F(PosixProfilesTest, WriteReplacesTheFileCrashSafelyKeepingItsModeAndLinks) {
  WriteFile(file_, "[Main]\r\nA=1\r\n");
  ASSERT_EQ(::chmod(file_.c_str(), 0640), 0);
  fs::create_symlink(file_, drive_ / "cfg" / "link.ini");

  EXPECT_TRUE(Write("Main", "A", "2"));
  EXPECT_TRUE(Write("Main", "B", "3", "C:\\cfg\\link.ini"));

  EXPECT_EQ(ReadFile(file_), "[Main]\r\nA=2\r\nB=3\r\n");
  EXPECT_TRUE(fs::is_symlink(drive_ / "cfg" / "link.ini"));
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // Nothing but the file and the link is left in the folder.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(file_.parent_path())) ++entries;
  EXPECT_EQ(entries, 2u);
}

}  // namespace
}  // namespace ravlin

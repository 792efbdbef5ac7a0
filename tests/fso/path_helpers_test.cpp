#include "fso/path_names.hpp"
#include "tests/fso/fso_fixture.hpp"

namespace ravlin::testing {
namespace {

using PathHelpersTest = FsoTest;

TEST_F(PathHelpersTest, TrailingSlashIsAddedOrRemovedOnceAfterTrimming) {
  EXPECT_EQ(fso.Add_Trailing_Slash("  C:\\Temp  "), "C:\\Temp\\");
  EXPECT_EQ(fso.Add_Trailing_Slash("C:\\Temp\\"), "C:\\Temp\\");
  EXPECT_EQ(fso.Add_Trailing_Slash(""), "\\");
  EXPECT_EQ(fso.Add_Trailing_Slash("   "), "\\");
  EXPECT_EQ(fso.Add_Trailing_Slash("\tC:\\Temp"), "\tC:\\Temp\\");  // only blanks are trimmed

  EXPECT_EQ(fso.Remove_Trailing_Slash(" C:\\ "), "C:");
  EXPECT_EQ(fso.Remove_Trailing_Slash("C:\\Temp"), "C:\\Temp");
  EXPECT_EQ(fso.Remove_Trailing_Slash(""), "");
  EXPECT_EQ(fso.Remove_Trailing_Slash("C:\\Temp\\\\"), "C:\\Temp\\");
  EXPECT_EQ(fso.Remove_Trailing_Slash("C:\\Temp/"), "C:\\Temp/");
}

TEST_F(PathHelpersTest, StripDriveKeepsBracesAndNeedsADriveLetter) {
  EXPECT_EQ(fso.StripDrive("D:\\data\\x.txt"), "\\data\\x.txt");
  EXPECT_EQ(fso.StripDrive("C:"), "");
  EXPECT_EQ(fso.StripDrive("{ABCD-0001}"), "{ABCD-0001}");
  EXPECT_EQ(fso.StripDrive("{C:\\x}"), "{C:\\x}");
  EXPECT_EQ(fso.StripDrive("{:x}"), "{:x}");  // braces come first
  EXPECT_EQ(fso.StripDrive("{C:\\x"), "");    // no closing brace, no colon second
  EXPECT_EQ(fso.StripDrive("X:{ABCD}"), "{ABCD}");
  EXPECT_EQ(fso.StripDrive("\\\\server\\share\\x"), "");
  EXPECT_EQ(fso.StripDrive(" C:\\x"), "");
  EXPECT_EQ(fso.StripDrive("relative\\x"), "");
  EXPECT_EQ(fso.StripDrive(""), "");
  EXPECT_EQ(fso.StripDrive("x"), "");
}

TEST_F(PathHelpersTest, RemoveNullsCutsAtTheFirstNul) {
  EXPECT_EQ(fso.Remove_Nulls(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(fso.Remove_Nulls(std::string("\0abc", 4)), "");
  EXPECT_EQ(fso.Remove_Nulls("abc"), "abc");
  EXPECT_EQ(fso.Remove_Nulls(std::string("C:\\\0D:\\\0\0   ", 12)), "C:\\");
}

TEST_F(PathHelpersTest, PathPartsOfOrdinaryPathsWithoutTouchingTheDisk) {
  const std::string driver = "C:\\Windows\\system32\\drivers\\atapi.sys";
  EXPECT_EQ(fso.Get_Path(driver), "C:\\Windows\\system32\\drivers");
  EXPECT_EQ(fso.Get_Filename(driver), "atapi.sys");
  EXPECT_EQ(fso.Get_Extension(driver), "sys");
  EXPECT_EQ(fso.Get_Path("C:\\Windows"), "C:\\");
  EXPECT_EQ(fso.Get_Path("Q:\\nowhere\\at\\all.txt"), "Q:\\nowhere\\at");
  EXPECT_EQ(fso.Get_Filename("Q:\\nowhere\\at\\all.txt"), "all.txt");
  EXPECT_EQ(fso.Get_Extension("C:\\Windows\\README"), "");
  EXPECT_EQ(fso.Get_Extension("C:\\dir.d\\README"), "");  // a dot in a folder does not count
  EXPECT_EQ(fso.Get_Extension("archive.tar.gz"), "gz");
  EXPECT_EQ(fso.Get_Extension("name."), "");
#ifndef _WIN32
  // On Windows these texts name the machine's own drive C:, not the test's.
  EXPECT_TRUE(std::filesystem::is_empty(c.path()));
#endif
}

TEST(PathNamesTest, UnusualTexts) {
  EXPECT_EQ(GetParentFolderName("C:\\"), "");
  EXPECT_EQ(GetParentFolderName("C:"), "");
  EXPECT_EQ(GetParentFolderName("C:\\Windows\\"), "C:\\");
  EXPECT_EQ(GetParentFolderName("C:\\a\\\\b"), "C:\\a");
  EXPECT_EQ(GetParentFolderName("C:/Windows/system32"), "C:/Windows");
  EXPECT_EQ(GetParentFolderName("name.txt"), "");
  EXPECT_EQ(GetParentFolderName("dir\\name.txt"), "dir");
  EXPECT_EQ(GetParentFolderName("\\name.txt"), "\\");
  EXPECT_EQ(GetParentFolderName("\\\\server\\share\\dir\\f"), "\\\\server\\share\\dir");
  EXPECT_EQ(GetParentFolderName("\\\\server\\share"), "");
  EXPECT_EQ(GetParentFolderName(""), "");

  EXPECT_EQ(GetFileName("C:\\Windows\\"), "Windows");
  EXPECT_EQ(GetFileName("C:\\"), "");
  EXPECT_EQ(GetFileName("C:"), "");
  EXPECT_EQ(GetFileName("C:boot.ini"), "boot.ini");
  EXPECT_EQ(GetFileName("\\\\server\\share"), "");
  EXPECT_EQ(GetFileName("plain"), "plain");
  EXPECT_EQ(GetExtensionName("C:\\x\\.profile"), "profile");
  EXPECT_EQ(GetExtensionName("C:\\"), "");
}

TEST_F(PathHelpersTest, NewObjectFieldsAndProperties) {
  EXPECT_EQ(fso.Count(), 0);
  EXPECT_EQ(fso.AccessErrNum(), 0);
  EXPECT_FALSE(fso.CancelProcessing);
  fso.Count(5.5);
  EXPECT_EQ(fso.Count(), 5.5);
}

}  // namespace
}  // namespace ravlin::testing

#include <filesystem>
#include <fstream>

#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

class ProfilesContract : public ContractTest {
 protected:
  std::string Get(const std::string& section, const std::string& key, const std::string& fallback,
                  std::uint32_t size = 256) {
    std::string value;
    const std::uint32_t length =
        platform_.profiles->GetPrivateProfileStringA(section, key, fallback, value, size, File());
    EXPECT_EQ(length, value.size());
    return value;
  }
  std::string File() const { return PathOf("settings.ini"); }
};

TEST_F(ProfilesContract, MissingEntriesReadAsTheDefault) {
  EXPECT_EQ(Get("Main", "Folder", "C:\\Default"), "C:\\Default");
  EXPECT_EQ(platform_.profiles->GetPrivateProfileIntA("Main", "Count", 7, File()), 7);
  EXPECT_FALSE(std::filesystem::exists(NativeOf("settings.ini")));
}

TEST_F(ProfilesContract, WrittenEntriesReadBackIgnoringCase) {
  Profiles& profiles = *platform_.profiles;
  ASSERT_TRUE(profiles.WritePrivateProfileStringA("Main", "Folder", "C:\\WINDOWS", File()));
  ASSERT_TRUE(profiles.WritePrivateProfileStringA("Main", "Count", "42", File()));
  ASSERT_TRUE(profiles.WritePrivateProfileStringA("Other", "Count", "-5", File()));
  ASSERT_TRUE(profiles.WritePrivateProfileStringA("Main", "Name", "Ελληνικά", File()));
  EXPECT_TRUE(std::filesystem::exists(NativeOf("settings.ini")));

  EXPECT_EQ(Get("main", "FOLDER", "x"), "C:\\WINDOWS");
  EXPECT_EQ(Get("Main", "Folder", "x", 5), "C:\\W");
  EXPECT_EQ(Get("Main", "Name", "x"), "Ελληνικά");
  EXPECT_EQ(profiles.GetPrivateProfileIntA("Main", "Count", 0, File()), 42);
  EXPECT_EQ(profiles.GetPrivateProfileIntA("Other", "count", 0, File()), -5);
  EXPECT_EQ(Get("Main", "Missing", "fallback"), "fallback");

  ASSERT_TRUE(profiles.WritePrivateProfileStringA("Main", "Folder", "D:\\", File()));
  EXPECT_EQ(Get("Main", "Folder", "x"), "D:\\");
  EXPECT_EQ(Get("Other", "Count", "x"), "-5");
  // A line break would forge another entry; it is refused and nothing changes.
  EXPECT_FALSE(profiles.WritePrivateProfileStringA("Main", "Folder", "a\r\nForged=1", File()));
  EXPECT_EQ(Get("Main", "Folder", "x"), "D:\\");
  EXPECT_EQ(Get("Main", "Forged", "none"), "none");
}

}  // namespace
}  // namespace ravlin::testing

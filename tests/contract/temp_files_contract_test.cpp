#include <filesystem>
#include <set>

#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

namespace fs = std::filesystem;

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[text.size() - end.size() + i])) !=
        std::toupper(static_cast<unsigned char>(end[i])))
      return false;
  return true;
}

class TempFilesContract : public ContractTest {
 protected:
  TempFiles& temp() { return *platform_.tempFiles; }
};

TEST_F(TempFilesContract, TheTemporaryFolderEndsInABackslashAndExists) {
  std::string buffer = "untouched";
  const std::uint32_t needed = temp().GetTempPathA(1, buffer);
  EXPECT_GT(needed, 1u);
  EXPECT_EQ(buffer, "untouched");
  const std::uint32_t length = temp().GetTempPathA(needed, buffer);
  EXPECT_EQ(length + 1, needed);
  ASSERT_EQ(buffer.size(), length);
  EXPECT_EQ(buffer.back(), '\\');
  const auto native = platform_.drives->ToNativePath(buffer);
  ASSERT_TRUE(native.has_value());
  EXPECT_TRUE(fs::is_directory(*native));
}

TEST_F(TempFilesContract, NewNamesAreUniqueFilesWithThePrefix) {
  std::set<std::string> names;
  for (int i = 0; i < 5; ++i) {
    std::string name;
    const std::uint32_t number = temp().GetTempFileNameA(folder_, "rvlxyz", 0, name);
    ASSERT_NE(number, 0u);
    EXPECT_EQ(name.rfind(folder_ + "\\rvl", 0), 0u) << name;
    // The system spells the extension ".TMP" or ".tmp"; names compare ignoring case.
    EXPECT_TRUE(EndsWithIgnoringCase(name, ".TMP")) << name;
    const auto native = platform_.drives->ToNativePath(name);
    ASSERT_TRUE(native.has_value());
    EXPECT_TRUE(fs::is_regular_file(*native)) << name;
    EXPECT_EQ(fs::file_size(*native), 0u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 5u);

  std::string given;
  EXPECT_EQ(temp().GetTempFileNameA(folder_, "abc", 0x1F, given), 0x1Fu);
  EXPECT_TRUE(EndsWithIgnoringCase(given, "\\abc1F.TMP")) << given;
  EXPECT_FALSE(fs::exists(NativeOf("abc1F.TMP")));

  std::string unchanged = "unchanged";
  EXPECT_EQ(temp().GetTempFileNameA(PathOf("none"), "rvl", 0, unchanged), 0u);
  EXPECT_EQ(unchanged, "unchanged");
}

}  // namespace
}  // namespace ravlin::testing

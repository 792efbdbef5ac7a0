#include <filesystem>
#include <string>
#include <vector>

#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Roots(const std::string& buffer, std::uint32_t length) {
  std::vector<std::string> roots;
  for (std::size_t at = 0; at < length;) {
    const std::size_t end = buffer.find('\0', at);
    roots.push_back(buffer.substr(at, end - at));
    at = end + 1;
  }
  return roots;
}

class DrivesContract : public ContractTest {};

TEST_F(DrivesContract, EveryDriveRootIsListedOnceInLetterOrder) {
  Drives& drives = *platform_.drives;
  std::string buffer = "untouched";
  const std::uint32_t needed = drives.GetLogicalDriveStringsA(2, buffer);
  EXPECT_EQ(buffer, "untouched");
  const std::uint32_t length = drives.GetLogicalDriveStringsA(needed, buffer);
  EXPECT_EQ(length + 1, needed);
  ASSERT_GE(buffer.size(), length + 1);
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(buffer[length - 1], '\0');

  const std::vector<std::string> roots = Roots(buffer, length);
  const std::string workRoot = folder_.substr(0, 3);
  EXPECT_NE(std::find(roots.begin(), roots.end(), workRoot), roots.end()) << workRoot;
  for (std::size_t i = 0; i < roots.size(); ++i) {
    ASSERT_EQ(roots[i].size(), 3u);
    EXPECT_EQ(roots[i].substr(1), ":\\");
    if (i > 0) {
      EXPECT_LT(roots[i - 1], roots[i]);
    }
  }
}

TEST_F(DrivesContract, DrivePathsAndTheMachinesPathsMapBothWays) {
  Drives& drives = *platform_.drives;
  fs::create_directory(NativeOf("Sub"));
  const std::string sub = drives.ToDrivePath(NativeOf("Sub"));
  EXPECT_EQ(sub, PathOf("Sub"));
  EXPECT_EQ(sub[1], ':');
  EXPECT_EQ(sub.find('/'), std::string::npos);

  const auto native = drives.ToNativePath(PathOf("Sub\\file.txt"));
  ASSERT_TRUE(native.has_value());
  EXPECT_TRUE(fs::equivalent(native->parent_path(), NativeOf("Sub")));
  EXPECT_EQ(native->filename(), fs::path("file.txt"));
  EXPECT_FALSE(drives.ToNativePath("no drive here").has_value());
  EXPECT_FALSE(drives.ToNativePath("").has_value());
}

}  // namespace
}  // namespace ravlin::testing

#include <filesystem>

#include "tests/contract/contract_files.hpp"
#include "tests/support/error_number.hpp"

namespace ravlin::testing {
namespace {

namespace fs = std::filesystem;

class FileAttributesContract : public ContractFilesTest {
 protected:
  FileAttributes& attributes() { return *platform_.attributes; }
};

TEST_F(FileAttributesContract, ReadOnlyIsSetReadAndCleared) {
  Write("plain.txt", "x");
  fs::create_directory(NativeOf("folder"));
  EXPECT_EQ(attributes().GetAttr(PathOf("plain.txt")) & dos_attribute::kReadOnly, 0);
  EXPECT_EQ(attributes().GetAttr(PathOf("plain.txt")) & dos_attribute::kDirectory, 0);
  EXPECT_NE(attributes().GetAttr(PathOf("folder")) & dos_attribute::kDirectory, 0);

  attributes().SetAttr(PathOf("plain.txt"), dos_attribute::kReadOnly);
  EXPECT_NE(attributes().GetAttr(PathOf("plain.txt")) & dos_attribute::kReadOnly, 0);
  EXPECT_EQ(ErrorNumberOf([&] { attributes().Kill(PathOf("plain.txt")); }), 70);
  EXPECT_FALSE(attributes().DeleteFileA(PathOf("plain.txt")));
  EXPECT_TRUE(fs::exists(NativeOf("plain.txt")));

  EXPECT_TRUE(attributes().SetFileAttributesA(PathOf("plain.txt"), 0));
  EXPECT_EQ(attributes().GetAttr(PathOf("plain.txt")) & dos_attribute::kReadOnly, 0);
  EXPECT_TRUE(attributes().DeleteFileA(PathOf("plain.txt")));
  EXPECT_FALSE(fs::exists(NativeOf("plain.txt")));
}

TEST_F(FileAttributesContract, MissingEntriesAndWildcardsAreErrors) {
  Write("a.txt", "x");
  fs::create_directory(NativeOf("folder"));
  EXPECT_EQ(ErrorNumberOf([&] { attributes().GetAttr(PathOf("none.txt")); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { attributes().SetAttr(PathOf("none.txt"), 0); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { attributes().Kill(PathOf("none.txt")); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { attributes().GetAttr(PathOf("*.txt")); }), 52);
  EXPECT_EQ(ErrorNumberOf([&] { attributes().Kill(PathOf("folder")); }), 53);
  EXPECT_FALSE(attributes().SetFileAttributesA(PathOf("none.txt"), 0));
  EXPECT_FALSE(attributes().DeleteFileA(PathOf("none.txt")));
  EXPECT_TRUE(fs::exists(NativeOf("a.txt")));
}

}  // namespace
}  // namespace ravlin::testing

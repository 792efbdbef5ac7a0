#include <filesystem>

#include "tests/contract/contract_files.hpp"
#include "tests/support/error_number.hpp"

namespace ravlin::testing {
namespace {

namespace fs = std::filesystem;

class FileReplaceContract : public ContractFilesTest {};

TEST_F(FileReplaceContract, TheReplacementTakesThePlaceAndTheOldFileIsKept) {
  Write("system", "old hive");
  Write("system.new", "new hive");
  platform_.replacer->ReplaceFile(PathOf("system"), PathOf("system.new"), PathOf("system.old"));
  EXPECT_EQ(Read("system"), "new hive");
  EXPECT_EQ(Read("system.old"), "old hive");
  EXPECT_FALSE(fs::exists(NativeOf("system.new")));
}

TEST_F(FileReplaceContract, FailuresChangeNothing) {
  Write("system", "old hive");
  Write("system.new", "new hive");
  Write("system.old", "earlier backup");
  FileReplacer& replacer = *platform_.replacer;
  EXPECT_EQ(ErrorNumberOf([&] {
              replacer.ReplaceFile(PathOf("system"), PathOf("system.new"), PathOf("system.old"));
            }),
            58);
  EXPECT_EQ(ErrorNumberOf([&] {
              replacer.ReplaceFile(PathOf("system"), PathOf("none"), PathOf("system.bak"));
            }),
            53);
  EXPECT_EQ(ErrorNumberOf([&] {
              replacer.ReplaceFile(PathOf("none"), PathOf("system.new"), PathOf("system.bak"));
            }),
            53);
  EXPECT_EQ(Read("system"), "old hive");
  EXPECT_EQ(Read("system.new"), "new hive");
  EXPECT_EQ(Read("system.old"), "earlier backup");
  EXPECT_FALSE(fs::exists(NativeOf("system.bak")));
}

}  // namespace
}  // namespace ravlin::testing

#include <cstdlib>
#include <filesystem>

#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

class EnvironmentContract : public ContractTest {};

TEST_F(EnvironmentContract, VariablesAreReadIgnoringTheCaseOfTheirNames) {
  Environment& environment = *platform_.environment;
  const char* path = std::getenv("PATH");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(environment.GetEnvironmentVariable("PATH"), std::string(path));
  EXPECT_EQ(environment.GetEnvironmentVariable("Path"), std::string(path));
  EXPECT_EQ(environment.GetEnvironmentVariable("RAVLIN_NEVER_SET_IN_A_TEST"), std::nullopt);
  EXPECT_EQ(environment.GetEnvironmentVariable(""), std::nullopt);
  EXPECT_EQ(environment.GetEnvironmentVariable("PA=TH"), std::nullopt);
}

TEST_F(EnvironmentContract, TheProgramFolderIsTheFolderOfTheRunningTest) {
  const std::string folder = platform_.environment->ProgramFolder();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder[1], ':');
  EXPECT_TRUE(folder.size() == 3 || folder.back() != '\\') << folder;
  const auto native = platform_.drives->ToNativePath(folder);
  ASSERT_TRUE(native.has_value());
  EXPECT_TRUE(std::filesystem::is_directory(*native));
  EXPECT_TRUE(
      std::filesystem::equivalent(*native, PlatformOptions::FromEnvironment().programFolder));
}

}  // namespace
}  // namespace ravlin::testing

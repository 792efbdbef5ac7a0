#include <cstdlib>
#include <filesystem>

#include "tests/contract/contract_files.hpp"

namespace ravlin::testing {
namespace {

class EnvironmentContract : public ContractFilesTest {};

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

// Every status a box can show gets advice in one line; the steps are the system's own.
TEST_F(EnvironmentContract, StatusAdviceGivesThisSystemsOwnSteps) {
  Environment& environment = *platform_.environment;
  for (const std::int32_t status :
       {kErrorAccessDenied, kErrorWriteProtect, kErrorSharingViolation, kErrorDiskFull, kErrorBadDb,
        kErrorRegistryCorrupt, kErrorNotRegistryFile, kErrorPrivilegeNotHeld, kErrorFileInvalid,
        kErrorCantResolveFilename}) {
    const std::string advice = environment.StatusAdvice(status);
    EXPECT_GT(advice.size(), 20u) << status;
    EXPECT_EQ(advice.find('\n'), std::string::npos) << status;
  }
  EXPECT_EQ(environment.StatusAdvice(kErrorSuccess), "");
  EXPECT_EQ(environment.StatusAdvice(kErrorMoreData), "");
  const std::string writeProtected = environment.StatusAdvice(kErrorWriteProtect);
  const std::string held = environment.StatusAdvice(kErrorSharingViolation);
  const std::string rights = environment.StatusAdvice(kErrorPrivilegeNotHeld);
#ifdef _WIN32
  EXPECT_EQ(writeProtected.find("mount"), std::string::npos) << writeProtected;
  EXPECT_NE(held.find("antivirus"), std::string::npos) << held;
  EXPECT_EQ(held.find("mount"), std::string::npos) << held;
  EXPECT_NE(rights.find("administrator"), std::string::npos) << rights;
  EXPECT_EQ(rights.find("root"), std::string::npos) << rights;
#else
  EXPECT_NE(writeProtected.find("mount -o remount,rw"), std::string::npos) << writeProtected;
  EXPECT_NE(held.find("another mount"), std::string::npos) << held;
  EXPECT_NE(rights.find("root"), std::string::npos) << rights;
  EXPECT_EQ(rights.find("administrator"), std::string::npos) << rights;
#endif
}

// A folder that only looks like a Windows folder is never taken for the running system's.
TEST_F(EnvironmentContract, AGuestFolderIsNotTheRunningSystemsWindowsFolder) {
  Environment& environment = *platform_.environment;
  std::filesystem::create_directories(NativeOf("WINDOWS/system32/config"));
  Write("WINDOWS/system32/config/system", "regf");
  EXPECT_FALSE(environment.IsRunningSystemsWindowsFolder(PathOf("WINDOWS")));
  EXPECT_FALSE(environment.IsRunningSystemsWindowsFolder(PathOf("WINDOWS\\")));
  EXPECT_FALSE(environment.IsRunningSystemsWindowsFolder(PathOf("NOWHERE")));
  EXPECT_FALSE(environment.IsRunningSystemsWindowsFolder(""));
}

}  // namespace
}  // namespace ravlin::testing

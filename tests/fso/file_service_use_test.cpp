#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fso/clsFSO.hpp"
#include "platform/backend.hpp"
#include "platform/runtime_error.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::ScriptedUi;
using testing::TempDir;

// The toolkit holds the file service only while a member runs: whichever way a member
// leaves (an early answer, a failure it traps, an error it passes on), the reference goes.
TEST(FileServiceUse, NoMemberKeepsTheServiceOnAnyWayOut) {
  TempDir c;
  TempDir state;
  PlatformOptions options;
  options.drives = "C=" + c.path().string();
  options.registryStore = state / "registry";
  options.programFolder = c / "Program";
  const Platform platform = MakePlatform(std::make_shared<ScriptedUi>(), options);
  clsFSO fso(platform);
  const long held = platform.files.use_count();

  // Early answers.
  EXPECT_FALSE(fso.Get_FileInfo("   "));
  EXPECT_EQ(platform.files.use_count(), held) << "Get_FileInfo of a blank name";
  std::int32_t driveType = 0;
  EXPECT_FALSE(fso.Drive_Exist("Q:", driveType));
  EXPECT_EQ(platform.files.use_count(), held) << "Drive_Exist of a letter without drive";
  // A trapped failure: a folder that does not exist cannot take the probe.
  EXPECT_TRUE(fso.IsThisRestricted("C:\\missing"));
  EXPECT_EQ(platform.files.use_count(), held) << "IsThisRestricted";
  // An error passed on to the caller.
  EXPECT_THROW(fso.Get_DirList("C:\\missing"), RuntimeError);
  EXPECT_EQ(platform.files.use_count(), held) << "Get_DirList of a missing folder";
  // And the ordinary way out.
  EXPECT_TRUE(fso.Folder_Exist("C:\\"));
  EXPECT_EQ(platform.files.use_count(), held) << "Folder_Exist";
}

}  // namespace
}  // namespace ravlin

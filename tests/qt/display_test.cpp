#include <filesystem>

#include <gtest/gtest.h>

#include "app/qt/qt_front_end.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

TEST(QtDisplayTest, WindowOnlyWhereADisplayServerIsReachable) {
  TempDir runtime;
  ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
  ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path().string());
  {
    ScopedEnv gone("DISPLAY", ":4711");
    EXPECT_FALSE(QtDisplayAvailable());
  }
  {
    ScopedEnv none("DISPLAY", std::nullopt);
    EXPECT_FALSE(QtDisplayAvailable());
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-7");
    EXPECT_FALSE(QtDisplayAvailable());
    testing::WriteFile(runtime / "wayland-7", "");
    EXPECT_TRUE(QtDisplayAvailable());
  }
  ScopedEnv remote("DISPLAY", "workstation:0");
  EXPECT_TRUE(QtDisplayAvailable());
}

}  // namespace
}  // namespace ravlin

#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fso/clsFSO.hpp"
#include "platform/backend.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

// A clsFSO on the real Linux backend, with drive C on one temporary folder, drive D on
// another and drive M on a folder that does not exist (a drive without medium).
class FsoTest : public ::testing::Test {
 protected:
  TempDir c;
  TempDir d;
  TempDir state;
  std::shared_ptr<ScriptedUi> ui = std::make_shared<ScriptedUi>();
  clsFSO fso{MakePlatform(ui, Options())};

  PlatformOptions Options() const {
    PlatformOptions options;
    options.drives = "C=" + c.path().string() + ";d=" + d.path().string() +
                     ";M=" + (state / "no-medium").string();
    options.registryStore = state / "registry";
    options.programFolder = c / "Program";
    return options;
  }
};

}  // namespace ravlin::testing

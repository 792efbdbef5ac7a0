#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fso/clsFSO.hpp"
#include "platform/backend.hpp"
#include "tests/fso/scratch_drive.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

// A clsFSO on the backend of this build. On Linux drive C is one temporary folder, drive D
// another and drive M a folder that does not exist (a drive without medium). Windows has real
// drives only: there the test's drives C and D are the scratch drives T: and U:, and Drive()
// gives the letter a test names them by.
class FsoTest : public ::testing::Test {
 protected:
#ifdef _WIN32
  ScratchDrive c{'T'};
  ScratchDrive d{'U'};
#else
  TempDir c;
  TempDir d;
#endif
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

  // "C:" for the test's drive C (in the case given), "T:" on Windows; "D:" likewise.
  static std::string Drive(char letter) {
#ifdef _WIN32
    const char scratch = (letter == 'C' || letter == 'c') ? 'T' : 'U';
    return {static_cast<char>(letter >= 'a' ? scratch - 'A' + 'a' : scratch), ':'};
#else
    return {letter, ':'};
#endif
  }
};

}  // namespace ravlin::testing

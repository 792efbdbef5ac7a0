#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "fso/clsFSO.hpp"
#include "platform/backend.hpp"
#include "platform/runtime_error.hpp"
#include "tests/fso/scratch_drive.hpp"
#include "tests/support/error_number.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

// A clsFSO on the backend of this build whose drive T: is a fresh, empty folder, with a
// scripted user answering its boxes. Linux maps T: to a temporary folder through its drive
// table; on Windows T: is a scratch drive.
class ToolkitTest : public ::testing::Test {
 protected:
  ToolkitTest() {
#ifndef _WIN32
    std::filesystem::create_directory(root);
#endif
    PlatformOptions options;
    options.drives = "T=" + root.string();
    options.programFolder = temp.path();
    options.registryStore = temp.path() / ".registry";
    platform = MakePlatform(ui, options);
    fso = std::make_unique<clsFSO>(platform);
  }

  // The machine's path and the drive-letter text of a place in the temporary folder.
  std::filesystem::path Native(const std::string& relative) const {
    return root / relative;
  }
  static std::string Win(const std::string& relative) {
    std::string text = "T:\\" + relative;
    for (char& c : text)
      if (c == '/') c = '\\';
    return text;
  }

  TempDir temp;
#ifdef _WIN32
  ScratchDrive drive{'T'};
  std::filesystem::path root = drive.path();
#else
  std::filesystem::path root = temp / "drive";
#endif
  std::shared_ptr<ScriptedUi> ui = std::make_shared<ScriptedUi>();
  Platform platform;
  std::unique_ptr<clsFSO> fso;
};

}  // namespace ravlin::testing

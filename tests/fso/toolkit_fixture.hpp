#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "fso/clsFSO.hpp"
#include "platform/backend.hpp"
#include "platform/runtime_error.hpp"
#include "tests/support/error_number.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

// A clsFSO on the real Linux backend whose drive T: is a fresh temporary folder, with a
// scripted user answering its boxes.
class ToolkitTest : public ::testing::Test {
 protected:
  ToolkitTest() {
    std::filesystem::create_directory(root);
    PlatformOptions options;
    options.drives = "T=" + root.string();
    options.programFolder = temp.path();
    options.registryStore = temp.path() / ".registry";
    platform = MakePlatform(ui, options);
    fso = std::make_unique<clsFSO>(platform);
  }

  // The machine's path and the drive-letter text of a place in the temporary folder.
  std::filesystem::path Native(const std::string& relative) const { return root / relative; }
  static std::string Win(const std::string& relative) {
    std::string text = "T:\\" + relative;
    for (char& c : text)
      if (c == '/') c = '\\';
    return text;
  }

  TempDir temp;
  std::filesystem::path root = temp / "drive";
  std::shared_ptr<ScriptedUi> ui = std::make_shared<ScriptedUi>();
  Platform platform;
  std::unique_ptr<clsFSO> fso;
};

}  // namespace ravlin::testing

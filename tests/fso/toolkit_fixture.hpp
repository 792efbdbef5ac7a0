#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "fso/clsFSO.hpp"
#include "platform/backend.hpp"
#include "platform/runtime_error.hpp"
#include "tests/support/error_number.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

// A clsFSO on the backend of this build whose drive T: is a fresh, empty folder, with a
// scripted user answering its boxes. Linux maps T: to a temporary folder through its drive
// table. Windows has real drives only: T: must be a scratch drive that the tests may empty,
// named in RAVLIN_TEST_DRIVES (scripts/wine_tests.sh makes one); it is emptied before and
// after each test.
class ToolkitTest : public ::testing::Test {
 protected:
  ToolkitTest() {
#ifdef _WIN32
    const char* scratch = std::getenv("RAVLIN_TEST_DRIVES");
    if (scratch == nullptr || std::string(scratch).find('T') == std::string::npos)
      throw std::runtime_error("drive T: is no scratch drive: RAVLIN_TEST_DRIVES must name it");
    EmptyScratchDrive();
#else
    std::filesystem::create_directory(root);
#endif
    PlatformOptions options;
    options.drives = "T=" + root.string();
    options.programFolder = temp.path();
    options.registryStore = temp.path() / ".registry";
    platform = MakePlatform(ui, options);
    fso = std::make_unique<clsFSO>(platform);
  }
#ifdef _WIN32
  ~ToolkitTest() override {
    EmptyScratchDrive();
  }

  void EmptyScratchDrive() const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
      // Tests leave read-only files behind, which Windows does not delete.
      for (auto it = std::filesystem::recursive_directory_iterator(entry.path(), error);
           !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, error);
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, error);
      std::filesystem::remove_all(entry.path(), error);
    }
    if (!ScratchDriveEmpty()) throw std::runtime_error("the scratch drive T: cannot be emptied");
  }

  // An empty drive root lists nothing at all, not even "." and "..", and the C runtime then
  // calls it missing: a root that is a folder and cannot be listed counts as empty.
  bool ScratchDriveEmpty() const {
    std::error_code error;
    const std::filesystem::directory_iterator listing(root, error);
    if (!error) return listing == std::filesystem::directory_iterator();
    return std::filesystem::is_directory(root, error);
  }
#endif

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
  std::filesystem::path root = "T:\\";
#else
  std::filesystem::path root = temp / "drive";
#endif
  std::shared_ptr<ScriptedUi> ui = std::make_shared<ScriptedUi>();
  Platform platform;
  std::unique_ptr<clsFSO> fso;
};

}  // namespace ravlin::testing

#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "platform/backend.hpp"

namespace ravlin::testing {

// A front end that nobody answers: a contract test that opens a box or a dialog fails.
class UnansweredUi : public Ui {
 public:
  int MessageBox(const std::string& text, int, const std::string&) override {
    ADD_FAILURE() << "unexpected message box: " << text;
    return mb::kIdCancel;
  }
  std::optional<std::filesystem::path> BrowseForFolder(Handle, const std::string&) override {
    ADD_FAILURE() << "unexpected folder dialog";
    return std::nullopt;
  }
  void DoEvents() override {}
};

// The backend of this build on a fresh temporary folder, so that one test source holds both
// backends to the same results. On Linux the folder is drive T: and the registry store lives
// in it; Windows has real drives and its own registry and ignores both.
class ContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("ravlin-contract-" + std::to_string(random()) + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(root_ / "work");
    PlatformOptions options = PlatformOptions::FromEnvironment();
    options.drives = "T=" + root_.string();
    options.registryStore = root_ / "registry-store";
    platform_ = MakePlatform(std::make_shared<UnansweredUi>(), options);
    folder_ = platform_.drives->ToDrivePath(root_ / "work");
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  // The path text of `relative` (backslashes) below the test's work folder.
  std::string PathOf(std::string_view relative) const {
    return folder_ + "\\" + std::string(relative);
  }
  // The machine's path of the same place, for checks through std::filesystem.
  std::filesystem::path NativeOf(std::string_view relative) const {
    std::string generic(relative);
    for (char& c : generic)
      if (c == '\\') c = '/';
    return root_ / "work" / std::filesystem::path(generic);
  }

  Platform platform_;
  std::filesystem::path root_;
  std::string folder_;  // the work folder as a Windows path text
};

}  // namespace ravlin::testing

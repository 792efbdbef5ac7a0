#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace ravlin::testing {

// Windows has real drives only, so a toolkit test that needs a drive of its own gets a scratch
// drive: a drive the test run lets the tests empty, named in RAVLIN_TEST_DRIVES (for example
// "TU"; scripts/wine_tests.sh makes T: and U:, each a folder of the build). It is emptied when
// the object comes and again when it goes; any other drive is refused untouched.
class ScratchDrive {
 public:
  explicit ScratchDrive(char letter) : root_(std::string(1, letter) + ":\\") {
    const char* scratch = std::getenv("RAVLIN_TEST_DRIVES");
    if (scratch == nullptr || std::string(scratch).find(letter) == std::string::npos)
      throw std::runtime_error(root_.string() +
                               " is no scratch drive: RAVLIN_TEST_DRIVES must name it");
    Empty();
    if (!IsEmpty())
      throw std::runtime_error("the scratch drive " + root_.string() + " cannot be emptied");
  }
  ScratchDrive(const ScratchDrive&) = delete;
  ScratchDrive& operator=(const ScratchDrive&) = delete;
  ~ScratchDrive() { Empty(); }

  const std::filesystem::path& path() const { return root_; }
  std::filesystem::path operator/(const std::filesystem::path& child) const {
    return root_ / child;
  }

 private:
  void Empty() const {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root_, error)) {
      // Tests leave read-only files and folders behind, which Windows does not delete.
      for (auto it = fs::recursive_directory_iterator(entry.path(), error);
           !error && it != fs::recursive_directory_iterator(); it.increment(error))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
      fs::remove_all(entry.path(), error);
    }
  }

  // An empty drive root lists nothing at all, not even "." and "..", and the C runtime then
  // calls it missing: a root that is a folder and cannot be listed counts as empty.
  bool IsEmpty() const {
    std::error_code error;
    const std::filesystem::directory_iterator listing(root_, error);
    if (!error) return listing == std::filesystem::directory_iterator();
    return std::filesystem::is_directory(root_, error);
  }

  std::filesystem::path root_;
};

}  // namespace ravlin::testing

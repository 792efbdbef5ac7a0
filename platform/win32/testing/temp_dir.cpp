#include "tests/support/temp_dir.hpp"

#include <windows.h>

#include <cstdlib>
#include <random>
#include <stdexcept>

#include "platform/win32/text/wide_text.hpp"

namespace ravlin::testing {

TempDir::TempDir() {
  namespace fs = std::filesystem;
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("ravlin-test-" + std::to_string(random() % 1000000000));
    // create_directory answers false when the name is taken: another test's folder.
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no free name for a temporary folder");
}

TempDir::~TempDir() {
  namespace fs = std::filesystem;
  std::error_code error;
  // Tests mark files read-only, hidden or system; Windows deletes none that is read-only.
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error))
    ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(path_, error);
}

// _wputenv changes the C runtime's copy and the process environment that the backend reads.
ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  ::_wputenv((Wide(name_) + L"=" + Wide(value.value_or(""))).c_str());
}

ScopedEnv::~ScopedEnv() {
  ::_wputenv((Wide(name_) + L"=" + Wide(previous_.value_or(""))).c_str());
}

}  // namespace ravlin::testing

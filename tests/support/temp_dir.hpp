#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ravlin::testing {

// A fresh folder under the system's temporary folder, removed with everything in it (even
// read-only parts) when the object goes.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& child) const {
    return path_ / child;
  }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable for the life of the object and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Writes a file with the given content, creating its folders.
void WriteFile(const std::filesystem::path& file, const std::string& content);
std::string ReadFile(const std::filesystem::path& file);

}  // namespace ravlin::testing

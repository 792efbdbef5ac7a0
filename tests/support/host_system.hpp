#pragma once

// What the tests ask of the machine they run on, and the few changes they make to it for a
// while, through the backend of this build.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace ravlin::testing {

// Whether this process runs with the rights of the superuser, whom permissions do not stop.
bool RunningAsSuperuser();

// Runs `work` in a child process under the unprivileged user "nobody"; the child's answer
// comes back as its exit status. Nothing when the child could not drop its rights.
std::optional<bool> AsNobody(const std::function<bool()>& work);
// Gives `tree` (a file or a folder with everything below it) to "nobody"; false when the
// owner of any part cannot be changed.
bool GiveToNobody(const std::filesystem::path& tree);

// Whether `path` lies on a file system held in memory (tmpfs); nothing when its file system
// cannot be asked.
std::optional<bool> OnMemoryFileSystem(const std::filesystem::path& path);

// Why `device` cannot be opened for reading and writing, or nothing when it can.
std::optional<std::string> DeviceUnusable(const std::filesystem::path& device);

// Whether a process with this id exists (a zombie counts); kills it outright.
bool ProcessExists(std::uint32_t id);
void KillProcess(std::uint32_t id);

// Limits the size of the files this process may write, for the life of the object; a write
// past the limit fails instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit();

 private:
  std::uint64_t previous_ = 0;
  void (*previousHandler_)(int) = nullptr;
};

}  // namespace ravlin::testing

#include "platform/posix/images/run_folder.hpp"

#include <unistd.h>

#include <charconv>
#include <string>

#include "platform/disk_images.hpp"
#include "platform/posix/images/child_process.hpp"
#include "platform/posix/images/mount_table.hpp"
#include "platform/posix/images/ntfs_mount.hpp"
#include "platform/posix/images/storage_daemon.hpp"

namespace ravlin {
namespace {

constexpr std::string_view kPrefix = "run-";

void CleanUpRun(const std::filesystem::path& folder) {
  // ntfs-3g first, so that it writes what it holds while its device is still exported.
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".pid")
      NtfsMount::UnmountLeftOver(entry.path().parent_path() / entry.path().stem());
  StorageDaemon::QuitLeftOver(folder);
  // Exports whose daemon died with the run stay mounted without a server.
  for (const auto& mount : MountsBelow(folder)) UnmountFolder(mount, true);
  if (!MountsBelow(folder).empty())
    throw DiskImageError("a left-over mount below " + folder.string() + " cannot be removed");
  std::filesystem::remove_all(folder);
}

}  // namespace

void CleanUpLeftOverRuns(const std::filesystem::path& workFolder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(workFolder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    pid_t owner = 0;
    const char* digits = name.data() + kPrefix.size();
    const auto [end, failure] = std::from_chars(digits, name.data() + name.size(), owner);
    if (failure != std::errc() || end != name.data() + name.size() || ProcessRunning(owner))
      continue;
    CleanUpRun(entry.path());
  }
}

RunFolder::RunFolder(const std::filesystem::path& workFolder)
    : path_(workFolder / (std::string(kPrefix) + std::to_string(::getpid()))) {
  std::error_code error;
  std::filesystem::create_directories(workFolder, error);
  if (error)
    throw DiskImageError("cannot make the folder " + workFolder.string() + ": " + error.message());
  std::filesystem::permissions(workFolder, std::filesystem::perms::owner_all, error);
  std::filesystem::create_directory(path_, error);
  if (error)
    throw DiskImageError("cannot make the folder " + path_.string() + ": " + error.message());
}

RunFolder::~RunFolder() {
  // Removing a folder with a mount below it would delete the guest's files.
  std::error_code error;
  if (MountsBelow(path_).empty()) std::filesystem::remove_all(path_, error);
}

}  // namespace ravlin

#pragma once

#include <filesystem>

namespace ravlin {

// This run's own folder below the image work folder ("run-<process id>"), holding the
// engine's socket, its exports and the mount points. The folder goes with the object once
// nothing is mounted in it any more.
class RunFolder {
 public:
  // Throws DiskImageError when the folder cannot be made or a left-over mount stays.
  explicit RunFolder(const std::filesystem::path& workFolder);
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  ~RunFolder();

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Cleans up after runs below `workFolder` that were killed: their mounts are unmounted
// (waiting for ntfs-3g to write what it holds), their daemon told to quit, their folders
// removed. Throws DiskImageError when a left-over mount stays.
void CleanUpLeftOverRuns(const std::filesystem::path& workFolder);

}  // namespace ravlin

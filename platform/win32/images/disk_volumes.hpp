#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/disk_images.hpp"

namespace ravlin {

// A partition of an attached disk and the volume the system made of it ("\\?\Volume{...}\"),
// empty when it made none.
struct DiskVolume {
  ImagePartition partition;
  std::wstring volumeName;
};

// The partitions of the disk `physicalPath` ("\\.\PhysicalDriveN"), waiting a few seconds for
// the system to mount the volumes of those that hold a file system.
std::vector<DiskVolume> ListDiskVolumes(const std::wstring& physicalPath);

// A volume mounted on an empty folder for the life of the object; writable as the disk was
// attached. Refuses a volume that was not shut down cleanly or whose Windows is hibernated.
class FolderMountedVolume : public MountedVolume {
 public:
  FolderMountedVolume(const std::wstring& volumeName, const std::filesystem::path& folder,
                      int partitionNumber);
  FolderMountedVolume(const FolderMountedVolume&) = delete;
  FolderMountedVolume& operator=(const FolderMountedVolume&) = delete;
  ~FolderMountedVolume() override;

  const std::filesystem::path& Root() const override { return folder_; }
  // Writes the volume's caches out, dismounts it and removes the mount point.
  void Unmount() override;

 private:
  void RefuseUnsafe(int partitionNumber);

  std::wstring volumeName_;
  std::filesystem::path folder_;
  bool mounted_ = false;
};

// A new mount point folder below `workFolder`, named after this process.
std::filesystem::path NewMountFolder(const std::filesystem::path& workFolder);
// Removes the mount points that runs no longer running left below `workFolder`.
void RemoveStaleMountPoints(const std::filesystem::path& workFolder);

}  // namespace ravlin

#pragma once

#include <filesystem>

#include "platform/disk_images.hpp"
#include "platform/posix/images/child_process.hpp"

namespace ravlin {

// An NTFS file system mounted by ntfs-3g, which runs in the foreground as a child of Ravlin
// so that its end, after the unmount, says that every write reached the device. Its process
// id is kept beside the mount point while it is mounted, for a later run to wait on if this
// one is killed.
class NtfsMount : public MountedVolume {
 public:
  // Mounts `device` (a regular file) on `mountPoint`, made when missing. Refuses a volume
  // Windows left unclean or hibernated, with the reason.
  NtfsMount(const std::filesystem::path& device, const std::filesystem::path& mountPoint,
            bool writable);
  ~NtfsMount() override;

  const std::filesystem::path& Root() const override { return mountPoint_; }
  void Unmount() override;

  // Unmounts a mount point a killed run left, and waits for its ntfs-3g to end.
  static void UnmountLeftOver(const std::filesystem::path& mountPoint);

 private:
  // Why ntfs-3g would not mount the volume writable, from its own words.
  DiskImageError UnsafeVolume() const;

  std::filesystem::path mountPoint_;
  ChildProcess process_;
  bool mounted_ = false;
};

}  // namespace ravlin

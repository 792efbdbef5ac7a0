#pragma once

#include <filesystem>
#include <memory>

#include "platform/disk_images.hpp"

namespace ravlin {

// Disk images through qemu: qemu-img reads what the image is, qemu-storage-daemon opens it
// and exports the whole disk and each partition through FUSE, libfdisk reads the partition
// table and ntfs-3g mounts the partition. Needs only /dev/fuse.
class PosixDiskImages : public DiskImages {
 public:
  explicit PosixDiskImages(std::filesystem::path workFolder) : workFolder_(std::move(workFolder)) {}

  std::unique_ptr<OpenedImage> Open(const ImageOpenRequest& request) override;
  bool Check(const std::filesystem::path& image) override;

 private:
  std::filesystem::path workFolder_;
};

}  // namespace ravlin

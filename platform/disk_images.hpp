#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravlin {

// Why an image cannot be opened, mounted or closed, in words for the user; nothing in the
// image was changed by the step that failed.
class DiskImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One entry of the image's partition table.
struct ImagePartition {
  int number = 0;  // as the partition table numbers it, from 1
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::string fileSystem;  // "ntfs", "vfat", ...; empty when none is recognised
};

// A partition's file system, mounted for the life of the object.
class MountedVolume {
 public:
  virtual ~MountedVolume() = default;
  virtual const std::filesystem::path& Root() const = 0;
  // Unmounts and waits until every write reached the image; throws DiskImageError when
  // the volume cannot be unmounted (it then stays mounted).
  virtual void Unmount() = 0;
};

// An image opened by its engine until Close() or the object goes.
class OpenedImage {
 public:
  virtual ~OpenedImage() = default;
  virtual const std::vector<ImagePartition>& Partitions() const = 0;
  // Mounts the NTFS file system of partition `number`, writable when the image was opened
  // so and `writable` asks for it. Refuses an unclean or hibernated volume.
  virtual std::unique_ptr<MountedVolume> Mount(int number, bool writable) = 0;
  // Unmounts what is still mounted and closes the image, so that every write is in the
  // image file when it returns.
  virtual void Close() = 0;
};

struct ImageOpenRequest {
  std::filesystem::path image;
  bool writable = false;
  // A snapshot layer is opened only when this is set; its backing files are never written.
  bool topLayerOnly = false;
};

// Opens virtual machine disk images (raw, qcow2, VMDK, VHD, VHDX, VDI).
class DiskImages {
 public:
  virtual ~DiskImages() = default;
  // Refuses, before anything is written, an image another program has open, one with a
  // backing file (unless asked for), an encrypted one and a writable open on a read-only
  // file system.
  virtual std::unique_ptr<OpenedImage> Open(const ImageOpenRequest& request) = 0;
  // The image format's own consistency check: throws DiskImageError with its report when it
  // finds anything wrong; returns false when the format has no such check.
  virtual bool Check(const std::filesystem::path& image) = 0;
};

// This build's engine. `workFolder` holds the mount points and sockets of each run; a run
// that was killed leaves its own below it, which the next one cleans up.
std::unique_ptr<DiskImages> MakeDiskImages(const std::filesystem::path& workFolder);

}  // namespace ravlin

#pragma once

#include <filesystem>
#include <string>

namespace ravlin {

// What qemu-img tells of an image before it is opened.
struct ImageFacts {
  std::string format;       // qemu's driver name: raw, qcow2, vmdk, vpc, vhdx, vdi, ...
  std::string backingFile;  // empty unless the image is a snapshot layer
  bool encrypted = false;
};

// Asks qemu-img; throws DiskImageError when the file is missing, unreadable, no image, or
// open in another program (qemu's own locking).
ImageFacts ReadImageFacts(const std::filesystem::path& image);

}  // namespace ravlin

#include "platform/disk_images.hpp"

namespace ravlin {
namespace {

// Attaching VHD and VHDX files through VirtDisk.dll is not built yet: every image is
// refused with a message, before anything is opened.
class Win32DiskImages : public DiskImages {
 public:
  std::unique_ptr<OpenedImage> Open(const ImageOpenRequest& request) override {
    throw DiskImageError("opening the disk image " + request.image.string() +
                         " is not supported on this system; attach it with the Disk "
                         "Management console and give Ravlin its Windows folder");
  }
  bool Check(const std::filesystem::path&) override { return false; }
};

}  // namespace

std::unique_ptr<DiskImages> MakeDiskImages(const std::filesystem::path&) {
  return std::make_unique<Win32DiskImages>();
}

}  // namespace ravlin

#include <algorithm>
#include <vector>

#include "platform/disk_images.hpp"
#include "platform/image_format.hpp"
#include "platform/win32/images/disk_volumes.hpp"
#include "platform/win32/images/kernel32_calls.hpp"
#include "platform/win32/images/virtual_disk.hpp"

namespace ravlin {
namespace {

// An image attached as a disk of this machine; each mount puts one of its volumes on a
// folder of the work folder.
class Win32OpenedImage : public OpenedImage {
 public:
  Win32OpenedImage(std::unique_ptr<AttachedDisk> disk, std::filesystem::path workFolder)
      : disk_(std::move(disk)),
        workFolder_(std::move(workFolder)),
        volumes_(ListDiskVolumes(disk_->PhysicalPath())) {
    for (const auto& volume : volumes_) partitions_.push_back(volume.partition);
  }

  const std::vector<ImagePartition>& Partitions() const override { return partitions_; }

  // The volume is writable as the image was attached: Windows mounts a disk's volumes one
  // way.
  std::unique_ptr<MountedVolume> Mount(int number, bool) override {
    const auto volume = std::find_if(volumes_.begin(), volumes_.end(), [&](const DiskVolume& v) {
      return v.partition.number == number;
    });
    const std::string partition = "partition " + std::to_string(number);
    if (volume == volumes_.end()) throw DiskImageError("the image has no " + partition);
    if (volume->partition.fileSystem != "ntfs")
      throw DiskImageError(partition + " of the image holds no NTFS file system Windows mounted");
    return std::make_unique<FolderMountedVolume>(volume->volumeName, NewMountFolder(workFolder_),
                                                 number);
  }

  void Close() override { disk_->Detach(); }

 private:
  std::unique_ptr<AttachedDisk> disk_;
  std::filesystem::path workFolder_;
  std::vector<DiskVolume> volumes_;
  std::vector<ImagePartition> partitions_;
};

// A writable open would fail late, or half-way, on a read-only file or file system.
void RefuseReadOnly(const std::filesystem::path& image) {
  const DWORD attributes = ::GetFileAttributesW(image.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    throw DiskImageError("the disk image " + image.string() + " is read-only");
  std::vector<wchar_t> root(MAX_PATH + 1);
  DWORD flags = 0;
  const auto getVolumePathName = Kernel32().getVolumePathName;
  if (getVolumePathName != nullptr &&
      getVolumePathName(image.c_str(), root.data(), static_cast<DWORD>(root.size())) &&
      ::GetVolumeInformationW(root.data(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
      (flags & FILE_READ_ONLY_VOLUME) != 0)
    throw DiskImageError("the disk image " + image.string() + " lies on a read-only file system");
}

// VHD and VHDX images through VirtDisk.dll (Windows 7 and later; VHDX from Windows 8). The
// other formats, and every image where VirtDisk.dll is missing, are refused with a message
// before anything is opened.
class Win32DiskImages : public DiskImages {
 public:
  explicit Win32DiskImages(std::filesystem::path workFolder) : workFolder_(std::move(workFolder)) {}

  std::unique_ptr<OpenedImage> Open(const ImageOpenRequest& request) override {
    const ImageFormat format = DetectImageFormat(request.image);
    if (format != ImageFormat::kVhd && format != ImageFormat::kVhdx)
      throw DiskImageError(request.image.string() + " is a " + ImageFormatName(format) +
                           " image; on Windows Ravlin opens VHD and VHDX images only (VHDX from "
                           "Windows 8): convert it with qemu-img convert -O vhdx, or repair it "
                           "with Ravlin on Linux");
    if (request.writable) RefuseReadOnly(request.image);
    std::error_code error;
    std::filesystem::create_directories(workFolder_, error);
    if (error)
      throw DiskImageError("cannot make the folder " + workFolder_.string() + ": " +
                           error.message());
    RemoveStaleMountPoints(workFolder_);
    auto library = std::make_shared<VirtualDiskLibrary>();
    auto disk = library->Attach(request.image, format, request.writable, request.topLayerOnly);
    return std::make_unique<Win32OpenedImage>(std::move(disk), workFolder_);
  }

  // Windows has no consistency check of VHD or VHDX files.
  bool Check(const std::filesystem::path&) override { return false; }

 private:
  std::filesystem::path workFolder_;
};

}  // namespace

std::unique_ptr<DiskImages> MakeDiskImages(const std::filesystem::path& workFolder) {
  // Windows has no registry store beside which the work folder could lie: a folder named
  // relative to nothing goes to the temporary folder, not to whatever folder is current.
  if (workFolder.is_absolute()) return std::make_unique<Win32DiskImages>(workFolder);
  std::error_code error;
  return std::make_unique<Win32DiskImages>(std::filesystem::temp_directory_path(error) /
                                           "ravlin-images");
}

}  // namespace ravlin

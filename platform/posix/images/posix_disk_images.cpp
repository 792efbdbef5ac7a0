#include "platform/posix/images/posix_disk_images.hpp"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "platform/posix/images/child_process.hpp"
#include "platform/posix/images/image_facts.hpp"
#include "platform/posix/images/ntfs_mount.hpp"
#include "platform/posix/images/partition_table.hpp"
#include "platform/posix/images/run_folder.hpp"
#include "platform/posix/images/storage_daemon.hpp"

namespace ravlin {
namespace {

constexpr const char* kDiskNode = "disk";
// qemu-img check's status for a format that has no check.
constexpr int kCheckUnsupported = 63;

std::string PartitionNode(int number) {
  return "partition" + std::to_string(number);
}

void RefuseUnwritable(const std::filesystem::path& image) {
  struct statvfs volume {};
  if (::statvfs(image.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0)
    throw DiskImageError(image.string() + " is on a read-only file system");
  if (::access(image.c_str(), W_OK) != 0)
    throw DiskImageError(image.string() +
                         " cannot be written: " + std::generic_category().message(errno));
}

// A partition exported by the daemon and mounted by ntfs-3g; unmounting removes both.
class ImageVolume : public MountedVolume {
 public:
  ImageVolume(StorageDaemon& daemon, std::set<int>& mounted, int number,
              const std::filesystem::path& device, const std::filesystem::path& mountPoint,
              bool writable)
      : daemon_(daemon), mounted_(mounted), number_(number), ntfs_(device, mountPoint, writable) {
    mounted_.insert(number_);
  }
  ~ImageVolume() override {
    try {
      Unmount();
    } catch (const DiskImageError&) {
      // Closing the image removes the export; ntfs-3g's pid file lets a later run finish.
    }
  }

  const std::filesystem::path& Root() const override { return ntfs_.Root(); }
  void Unmount() override {
    if (!mounted_.contains(number_)) return;
    ntfs_.Unmount();
    daemon_.Unexport(PartitionNode(number_));
    daemon_.RemoveNode(PartitionNode(number_));
    mounted_.erase(number_);
  }

 private:
  StorageDaemon& daemon_;
  std::set<int>& mounted_;
  int number_;
  NtfsMount ntfs_;
};

class PosixOpenedImage : public OpenedImage {
 public:
  PosixOpenedImage(const std::filesystem::path& workFolder, const ImageOpenRequest& request,
                   const std::string& format)
      : folder_(workFolder), daemon_(folder_.Path()), writable_(request.writable) {
    daemon_.OpenImage(kDiskNode, request.image, format, writable_);
    // The whole disk, read-only, for the partition table reader.
    const auto disk = folder_.Path() / kDiskNode;
    daemon_.Export(kDiskNode, disk, false);
    partitions_ = ReadPartitions(disk);
    daemon_.Unexport(kDiskNode);
  }

  const std::vector<ImagePartition>& Partitions() const override { return partitions_; }

  std::unique_ptr<MountedVolume> Mount(int number, bool writable) override {
    const auto partition = std::find_if(partitions_.begin(), partitions_.end(),
                                        [&](const auto& p) { return p.number == number; });
    if (partition == partitions_.end())
      throw DiskImageError("the image has no partition " + std::to_string(number));
    if (partition->fileSystem != "ntfs")
      throw DiskImageError(
          "partition " + std::to_string(number) + " holds no NTFS file system" +
          (partition->fileSystem.empty() ? "" : " (" + partition->fileSystem + ")"));
    if (mounted_.contains(number))
      throw DiskImageError("partition " + std::to_string(number) + " is already mounted");
    writable = writable && writable_;
    const std::string node = PartitionNode(number);
    const auto device = folder_.Path() / node;
    daemon_.AddSlice(node, kDiskNode, partition->offset, partition->size, writable);
    try {
      daemon_.Export(node, device, writable);
      try {
        return std::make_unique<ImageVolume>(daemon_, mounted_, number, device,
                                             folder_.Path() / ("mount" + std::to_string(number)),
                                             writable);
      } catch (const DiskImageError&) {
        daemon_.Unexport(node);
        throw;
      }
    } catch (const DiskImageError&) {
      daemon_.RemoveNode(node);
      throw;
    }
  }

  void Close() override { daemon_.Quit(); }

 private:
  RunFolder folder_;
  StorageDaemon daemon_;
  bool writable_;
  std::vector<ImagePartition> partitions_;
  std::set<int> mounted_;
};

}  // namespace

std::unique_ptr<OpenedImage> PosixDiskImages::Open(const ImageOpenRequest& request) {
  // A killed run's daemon still holds its image locked: it goes first.
  CleanUpLeftOverRuns(workFolder_);
  const auto facts = ReadImageFacts(request.image);
  if (facts.encrypted)
    throw DiskImageError(request.image.string() +
                         " is encrypted; Ravlin does not open encrypted images");
  if (!facts.backingFile.empty() && !request.topLayerOnly)
    throw DiskImageError(request.image.string() + " is a snapshot layer over " + facts.backingFile +
                         "; --image-top-layer repairs this layer only (its backing file is "
                         "never written), or repair the backing file itself");
  if (request.writable) RefuseUnwritable(request.image);
  return std::make_unique<PosixOpenedImage>(workFolder_, request, facts.format);
}

bool PosixDiskImages::Check(const std::filesystem::path& image) {
  const auto check = RunToEnd({"qemu-img", "check", image.string()}, std::chrono::minutes(10));
  if (check.exitCode == kCheckUnsupported) return false;
  if (check.exitCode != 0)
    throw DiskImageError("qemu-img check finds " + image.string() + " damaged: " + check.output +
                         check.errors);
  return true;
}

std::unique_ptr<DiskImages> MakeDiskImages(const std::filesystem::path& workFolder) {
  return std::make_unique<PosixDiskImages>(workFolder);
}

}  // namespace ravlin

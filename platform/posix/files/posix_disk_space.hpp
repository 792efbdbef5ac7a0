#pragma once

#include <memory>
#include <string>

#include "platform/drives.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// Free space of the file system that holds a drive's directory (statvfs). The extended query
// reports the file system's own byte counts; the cluster query describes the same figures as
// clusters of the file system's fragment size, in sectors of 512 bytes where it divides.
class PosixDiskSpace : public DiskSpace {
 public:
  explicit PosixDiskSpace(std::shared_ptr<const DriveTable> drives);

  bool HasGetDiskFreeSpaceEx() override { return true; }
  bool GetDiskFreeSpaceExA(const std::string& directory, std::uint64_t& availableToCaller,
                           std::uint64_t& totalBytes, std::uint64_t& totalFreeBytes) override;
  bool GetDiskFreeSpaceA(const std::string& rootPath, std::uint32_t& sectorsPerCluster,
                         std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                         std::uint32_t& totalClusters) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
};

}  // namespace ravlin

#include "platform/posix/files/posix_disk_space.hpp"

#include <sys/statvfs.h>

#include <algorithm>
#include <limits>
#include <optional>

namespace ravlin {
namespace {

constexpr std::uint64_t kSectorSize = 512;

std::optional<struct statvfs> StatOf(const DriveTable& drives, const std::string& drivePath) {
  const auto native = drives.ToNative(drivePath);
  if (!native) return std::nullopt;
  struct statvfs figures {};
  if (::statvfs(native->c_str(), &figures) != 0 || figures.f_frsize == 0) return std::nullopt;
  return figures;
}

std::optional<std::uint64_t> Bytes(std::uint64_t blocks, std::uint64_t blockSize) {
  if (blockSize != 0 && blocks > std::numeric_limits<std::uint64_t>::max() / blockSize)
    return std::nullopt;
  return blocks * blockSize;
}

std::uint32_t Clamped(std::uint64_t value) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

PosixDiskSpace::PosixDiskSpace(std::shared_ptr<const DriveTable> drives)
    : drives_(std::move(drives)) {}

bool PosixDiskSpace::GetDiskFreeSpaceExA(const std::string& directory,
                                         std::uint64_t& availableToCaller,
                                         std::uint64_t& totalBytes, std::uint64_t& totalFreeBytes) {
  const auto figures = StatOf(*drives_, directory);
  if (!figures) return false;
  const auto available = Bytes(figures->f_bavail, figures->f_frsize);
  const auto total = Bytes(figures->f_blocks, figures->f_frsize);
  const auto free = Bytes(figures->f_bfree, figures->f_frsize);
  if (!available || !total || !free) return false;
  availableToCaller = *available;
  totalBytes = *total;
  totalFreeBytes = *free;
  return true;
}

bool PosixDiskSpace::GetDiskFreeSpaceA(const std::string& rootPath,
                                       std::uint32_t& sectorsPerCluster,
                                       std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                                       std::uint32_t& totalClusters) {
  const auto figures = StatOf(*drives_, rootPath);
  if (!figures) return false;
  const std::uint64_t clusterSize = figures->f_frsize;
  const std::uint64_t sector = clusterSize % kSectorSize == 0 ? kSectorSize : clusterSize;
  bytesPerSector = Clamped(sector);
  sectorsPerCluster = Clamped(clusterSize / sector);
  // Like Windows on very large volumes, counts that do not fit 32 bits are capped.
  freeClusters = Clamped(figures->f_bfree);
  totalClusters = Clamped(figures->f_blocks);
  return true;
}

}  // namespace ravlin

#include <limits>
#include <optional>

#include "fso/clsFSO.hpp"
#include "fso/path_names.hpp"

namespace ravlin {
namespace {

// Byte counts go through a fixed-point type with four decimals in the extended query.
constexpr std::uint64_t kLargestExtendedCount = 922'337'203'685'477ULL;
// Volumes up to this size are measured by the cluster query.
constexpr double kClusterQueryLimit = 2'200'000'000.0;

// clusters x sectors per cluster x bytes per sector, in 64 bits; nothing when that overflows.
std::optional<std::int64_t> ClusterBytes(std::uint32_t clusters, std::uint32_t sectorsPerCluster,
                                         std::uint32_t bytesPerSector) {
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  const std::uint64_t clusterSize = std::uint64_t{sectorsPerCluster} * bytesPerSector;
  if (clusterSize != 0 && clusters > kMax / clusterSize) return std::nullopt;
  return static_cast<std::int64_t>(clusters * clusterSize);
}

}  // namespace

bool clsFSO::Get_Disk_Space(const std::string& strPath, double& dblTotalSpace, double& dblFreeSpace,
                            double& dblUsedSpace) {
  dblTotalSpace = 0;
  dblFreeSpace = 0;
  dblUsedSpace = 0;
  const std::string trimmed = TrimSpaces(strPath);
  if (trimmed.empty()) return false;
  const std::string drive = trimmed.substr(0, 1) + ":";
  DiskSpace& disk = *platform_.diskSpace;

  std::uint64_t available = 0;
  std::uint64_t total = 0;
  std::uint64_t free = 0;
  if (disk.HasGetDiskFreeSpaceEx() && disk.GetDiskFreeSpaceExA(drive, available, total, free) &&
      total <= kLargestExtendedCount && free <= kLargestExtendedCount) {
    dblTotalSpace = static_cast<double>(total);
    dblFreeSpace = static_cast<double>(free);
    dblUsedSpace = dblTotalSpace - dblFreeSpace;
  }
  if (dblTotalSpace > kClusterQueryLimit) return true;

  dblTotalSpace = 0;
  dblFreeSpace = 0;
  dblUsedSpace = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t bytesPerSector = 0;
  std::uint32_t freeClusters = 0;
  std::uint32_t totalClusters = 0;
  if (!disk.GetDiskFreeSpaceA(drive, sectorsPerCluster, bytesPerSector, freeClusters,
                              totalClusters))
    return false;
  // The products are taken in 64 bits: in 32 bits volumes just under 2.2 GB would overflow.
  const auto freeBytes = ClusterBytes(freeClusters, sectorsPerCluster, bytesPerSector);
  if (!freeBytes) return false;
  dblFreeSpace = static_cast<double>(*freeBytes);
  const auto totalBytes = ClusterBytes(totalClusters, sectorsPerCluster, bytesPerSector);
  if (!totalBytes) return false;
  dblTotalSpace = static_cast<double>(*totalBytes);
  dblUsedSpace = dblTotalSpace - dblFreeSpace;
  return true;
}

}  // namespace ravlin

#include <filesystem>

#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

class DiskSpaceContract : public ContractTest {};

TEST_F(DiskSpaceContract, BothQueriesDescribeTheWorkFoldersDrive) {
  DiskSpace& space = *platform_.diskSpace;
  const std::string root = folder_.substr(0, 3);
  const auto reference = std::filesystem::space(NativeOf(""));

  ASSERT_TRUE(space.HasGetDiskFreeSpaceEx());
  std::uint64_t available = 0;
  std::uint64_t total = 0;
  std::uint64_t free = 0;
  ASSERT_TRUE(space.GetDiskFreeSpaceExA(folder_ + "\\", available, total, free));
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
  EXPECT_LE(available, free);
  EXPECT_EQ(total, reference.capacity);

  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t bytesPerSector = 0;
  std::uint32_t freeClusters = 0;
  std::uint32_t totalClusters = 0;
  ASSERT_TRUE(space.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                                      totalClusters));
  EXPECT_GT(sectorsPerCluster, 0u);
  EXPECT_GE(bytesPerSector, 512u);
  EXPECT_GT(totalClusters, 0u);
  EXPECT_LE(freeClusters, totalClusters);
  // The cluster figures describe the same volume, within what 32-bit counts can hold.
  const std::uint64_t clusterBytes = std::uint64_t{sectorsPerCluster} * bytesPerSector;
  EXPECT_LE(clusterBytes * totalClusters, total);

  EXPECT_FALSE(space.GetDiskFreeSpaceExA("no drive here", available, total, free));
}

}  // namespace
}  // namespace ravlin::testing

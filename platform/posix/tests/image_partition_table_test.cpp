#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/images/partition_table.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

constexpr std::uint64_t kMiB = 1 << 20;

bool Partition(const fs::path& disk, const std::string& table) {
  { std::ofstream(disk).close(); }
  fs::resize_file(disk, 64 * kMiB);
  ProgramRun sfdisk;
  sfdisk.arguments = {"/usr/bin/env", "sfdisk", "-q", disk.string()};
  sfdisk.input = table;
  return RunProgram(sfdisk).exitCode == 0;
}

// An NTFS file system made by mkntfs, written into the disk at `offset`.
bool PlaceNtfs(const TempDir& temp, const fs::path& disk, std::uint64_t offset) {
  const fs::path volume = temp / "volume.ntfs";
  { std::ofstream(volume).close(); }
  fs::resize_file(volume, 8 * kMiB);
  ProgramRun mkntfs;
  mkntfs.arguments = {"/usr/bin/env", "mkntfs", "-F", "-Q", "-q", volume.string()};
  if (RunProgram(mkntfs).exitCode != 0) return false;
  std::fstream out(disk, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(offset));
  out << std::ifstream(volume, std::ios::binary).rdbuf();
  return true;
}

TEST(ImagePartitionTable, PrimaryLogicalAndGptPartitionsAreFoundWithTheirFileSystems) {
  TempDir temp;
  const fs::path mbr = temp / "mbr.img";
  if (!Partition(mbr,
                 "label: dos\nstart=2048, size=16384, type=7\n"
                 "start=18432, size=40960, type=5\nstart=20480, size=8192, type=7\n"
                 "start=30720, size=8192, type=b\n"))
    GTEST_SKIP() << "sfdisk is not installed (scripts/setup.sh installs it)";
  ASSERT_TRUE(PlaceNtfs(temp, mbr, 30720 * 512));
  const auto partitions = ReadPartitions(mbr);
  // The extended partition only holds the logical ones: it is not offered.
  ASSERT_EQ(partitions.size(), 3u);
  EXPECT_EQ(partitions[0].number, 1);
  EXPECT_EQ(partitions[0].offset, 2048u * 512);
  EXPECT_EQ(partitions[0].size, 16384u * 512);
  EXPECT_EQ(partitions[0].fileSystem, "");
  EXPECT_EQ(partitions[1].number, 5);
  EXPECT_EQ(partitions[1].offset, 20480u * 512);
  EXPECT_EQ(partitions[2].number, 6);
  EXPECT_EQ(partitions[2].offset, 30720u * 512);
  EXPECT_EQ(partitions[2].size, 8192u * 512);
  EXPECT_EQ(partitions[2].fileSystem, "ntfs");

  const fs::path gpt = temp / "gpt.img";
  ASSERT_TRUE(Partition(gpt,
                        "label: gpt\nstart=2048, size=8192, type=C12A7328-F81F-11D2-BA4B-"
                        "00A0C93EC93B\nstart=10240, size=20480, "
                        "type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n"));
  ASSERT_TRUE(PlaceNtfs(temp, gpt, 10240 * 512));
  const auto gptPartitions = ReadPartitions(gpt);
  ASSERT_EQ(gptPartitions.size(), 2u);
  EXPECT_EQ(gptPartitions[1].number, 2);
  EXPECT_EQ(gptPartitions[1].offset, 10240u * 512);
  EXPECT_EQ(gptPartitions[1].size, 20480u * 512);
  EXPECT_EQ(gptPartitions[1].fileSystem, "ntfs");

  const fs::path bare = temp / "bare.img";
  { std::ofstream(bare).close(); }
  fs::resize_file(bare, 4 * kMiB);
  EXPECT_THROW(ReadPartitions(bare), DiskImageError);
  EXPECT_THROW(ReadPartitions(temp / "missing.img"), DiskImageError);
}

}  // namespace
}  // namespace ravlin

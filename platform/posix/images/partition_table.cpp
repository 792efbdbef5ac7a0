#include "platform/posix/images/partition_table.hpp"

#include <blkid.h>
#include <fcntl.h>

#include <memory>

#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {
namespace {

// libblkid counts partition offsets and sizes in 512-byte sectors, whatever the disk's.
constexpr std::uint64_t kBlkidSector = 512;

struct ProbeRelease {
  void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<blkid_struct_probe, ProbeRelease>;

Probe ProbeOf(int disk, std::uint64_t offset, std::uint64_t size) {
  Probe probe(blkid_new_probe());
  if (probe && blkid_probe_set_device(probe.get(), disk, static_cast<blkid_loff_t>(offset),
                                      static_cast<blkid_loff_t>(size)) != 0)
    probe.reset();
  return probe;
}

std::string FileSystemAt(int disk, std::uint64_t offset, std::uint64_t size) {
  const Probe probe = ProbeOf(disk, offset, size);
  if (!probe) return "";
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE);
  const char* type = nullptr;
  if (blkid_do_safeprobe(probe.get()) != 0 ||
      blkid_probe_lookup_value(probe.get(), "TYPE", &type, nullptr) != 0)
    return "";
  return type;
}

}  // namespace

std::vector<ImagePartition> ReadPartitions(const std::filesystem::path& disk) {
  UniqueFd device(::open(disk.c_str(), O_RDONLY | O_CLOEXEC));
  const Probe probe = device.valid() ? ProbeOf(device.get(), 0, 0) : Probe();
  if (!probe) throw DiskImageError("cannot read the image's partition table");
  blkid_probe_enable_partitions(probe.get(), 1);
  blkid_partlist list = blkid_probe_get_partitions(probe.get());
  if (list == nullptr || blkid_partlist_get_table(list) == nullptr)
    throw DiskImageError("the image has no partition table (MBR or GPT)");
  std::vector<ImagePartition> partitions;
  const int count = blkid_partlist_numof_partitions(list);
  for (int i = 0; i < count; ++i) {
    blkid_partition entry = blkid_partlist_get_partition(list, i);
    // An extended partition only holds the logical ones, which the list has as well.
    if (entry == nullptr || blkid_partition_is_extended(entry)) continue;
    ImagePartition partition;
    partition.number = blkid_partition_get_partno(entry);
    partition.offset = static_cast<std::uint64_t>(blkid_partition_get_start(entry)) * kBlkidSector;
    partition.size = static_cast<std::uint64_t>(blkid_partition_get_size(entry)) * kBlkidSector;
    partition.fileSystem = FileSystemAt(device.get(), partition.offset, partition.size);
    partitions.push_back(partition);
  }
  return partitions;
}

}  // namespace ravlin

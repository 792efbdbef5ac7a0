#pragma once

#include <filesystem>
#include <vector>

#include "platform/disk_images.hpp"

namespace ravlin {

// The partitions of the disk in `disk` (MBR, with its logical partitions, or GPT), each with
// the file system on it, as libblkid reads them. Throws DiskImageError when
// the disk has no partition table it knows.
std::vector<ImagePartition> ReadPartitions(const std::filesystem::path& disk);

}  // namespace ravlin

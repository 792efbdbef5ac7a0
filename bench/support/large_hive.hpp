#pragma once

#include <filesystem>

namespace ravlin::bench {

// Writes a synthetic SYSTEM hive of about 51 MB, like a large real one (two control sets with
// a critical device database, services with their usual subkeys, a device tree), with libhivex
// in a child process, so that the hive held while writing it does not count in the peak memory
// of this process, which spawned children inherit in their wait4 figures.
void BuildLargeSystemHive(const std::filesystem::path& file);

}  // namespace ravlin::bench

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hive_recovery.hpp"

namespace ravlin {

// Looks at the hive open as `hiveFd`, named `hiveName` in the folder `folderFd`, and when it
// is dirty reads it with its transaction logs (found beside it ignoring case, never through a
// link) and recovers it in memory: `recovered` receives the result when the state says so.
// Nothing is written anywhere. 0 or a registry status when a file cannot be read.
std::int32_t RecoverHiveFile(int folderFd, int hiveFd, const std::string& hiveName,
                             std::vector<std::uint8_t>& recovered, HiveRecovery& recovery);

}  // namespace ravlin

#pragma once

#include <filesystem>
#include <vector>

namespace ravlin {

// The mount points at or below `folder`, deepest first, from this process's mount table.
std::vector<std::filesystem::path> MountsBelow(const std::filesystem::path& folder);

// Unmounts `mountPoint`, retrying for a while when it is busy; `detach` lets a dead FUSE
// mount (its server gone) go at once. False when it stays mounted.
bool UnmountFolder(const std::filesystem::path& mountPoint, bool detach);

}  // namespace ravlin

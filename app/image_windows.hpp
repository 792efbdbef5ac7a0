#pragma once

#include <filesystem>
#include <vector>

namespace ravlin {

// The Windows folders on a mounted volume: "WINDOWS", "WINNT" and every folder the volume's
// boot.ini names, each matched ignoring case and kept only when it holds
// system32\config\system. Links are never followed, so every folder found lies on the
// volume itself.
std::vector<std::filesystem::path> FindWindowsFolders(const std::filesystem::path& volumeRoot);

// `relative` below `folder`, each component matched ignoring case as NTFS does; nothing
// when a component is missing or a link.
std::filesystem::path FindIgnoringCase(const std::filesystem::path& folder,
                                       const std::filesystem::path& relative);

}  // namespace ravlin

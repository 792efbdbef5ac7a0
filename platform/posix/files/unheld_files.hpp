#pragma once

#include <functional>
#include <string_view>

namespace ravlin {

// Calls `visit` with the name of every entry of the folder ("." and ".." included).
void ForEachName(int folderFd, const std::function<void(const char* name)>& visit);

// Calls `remove` for each regular file of the folder whose name `ours` accepts and that no
// process holds: a file being written holds an exclusive lock on it, so an unlocked one was
// left by a run that ended before it could remove it. `remove` runs while this process holds
// the lock itself, and only while the name still leads to the file that was checked.
void ForEachUnheldFile(int folderFd, const std::function<bool(std::string_view name)>& ours,
                       const std::function<void(const char* name)>& remove);

// Removes the unheld files of the folder whose names `ours` accepts.
void RemoveUnheldFiles(int folderFd, const std::function<bool(std::string_view name)>& ours);

}  // namespace ravlin

#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/posix/unique_fd.hpp"

namespace ravlin {

// The registry store's lock, shared by every process that uses the store: held shared
// while a hive file or the mount table is read, exclusive while one is changed.
class StoreLock {
 public:
  enum class Mode { kShared, kExclusive };
  // Creates the store folder when needed; throws std::system_error when it cannot lock.
  StoreLock(const std::filesystem::path& store, Mode mode);

 private:
  UniqueFd fd_;
};

// Identity and state of a file as last seen, to notice when another process replaced it.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};

  static FileState Of(const struct stat& info);
  bool operator==(const FileState& other) const;
};

// Writes all of `data`; 0 or the errno value of the failure.
int WriteFully(int fd, const void* data, std::size_t size);

// The registry status for a failed system call's errno.
std::int32_t StatusFromErrno(int errnoValue);

// Replaces (or creates) `name` in the folder `folderFd` so that a crash at any moment leaves
// either the old or the new content: the content goes to a new file beside it, which is
// flushed, given the old file's mode, owner (where allowed) and extended attributes, and
// renamed over the old one; then the folder is flushed. Nothing follows a symbolic link.
// `writeContent` writes the whole content to the descriptor it gets (for libraries that want
// a path, "/proc/self/fd/N" names the same file) and returns 0 or an errno value.
// `like` gives the attributes of a new file (nullptr: mode 0644 and no attributes to copy);
// `keepExisting` makes it leave an existing file alone (status 0). Returns 0 or a registry
// status; on success `written` (when given) receives the new file's state.
std::int32_t DurablyReplace(int folderFd, const std::string& name,
                            const std::function<int(int fd)>& writeContent, const struct stat* like,
                            bool keepExisting, FileState* written = nullptr);

}  // namespace ravlin

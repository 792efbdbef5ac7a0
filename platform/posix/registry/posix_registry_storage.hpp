#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/posix/files/unheld_files.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "platform/registry.hpp"

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

// The store's repair claim: an exclusive lock on a file of the store, taken without
// waiting. Valid() is false while another open description (any process) holds it.
class StoreClaim : public RegistryClaim {
 public:
  explicit StoreClaim(const std::filesystem::path& store);
  bool Valid() const { return held_; }

 private:
  UniqueFd fd_;
  bool held_ = false;
};

// Marks a registry editor working on the store for as long as it lives: a shared lock on a
// file of the store, so that looking for running editors costs one lock attempt while none is
// running instead of a look at every process of the machine.
class EditorPresence {
 public:
  // Creates the store folder when needed; a store that cannot be reached is not marked.
  explicit EditorPresence(const std::filesystem::path& store);
  // Whether any process holds an EditorPresence on the store.
  static bool AnyIn(const std::filesystem::path& store);

 private:
  UniqueFd fd_;
};

// Identity and state of a file as last seen, to notice when another process replaced or
// changed it: every write, rename, link or attribute change moves the change time.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec changed {};

  static FileState Of(const struct stat& info);
  // Of the file `name` in the folder, not following a link; false when it cannot be seen.
  static bool At(int folderFd, const std::string& name, FileState& state);
  bool operator==(const FileState& other) const;
};

// Writes all of `data`; 0 or the errno value of the failure.
int WriteFully(int fd, const void* data, std::size_t size);

// Copies the rest of `from` to `to`, inside the kernel where it can: 0 or an errno value.
int CopyContent(int from, int to);

// The registry status for a failed system call's errno.
std::int32_t StatusFromErrno(int errnoValue);

// The new content of `name` in the folder `folderFd`, written to a new file beside it and
// then installed in its place so that a crash at any moment leaves either the old or the new
// content: the new file is flushed, given the old file's mode, owner (where allowed) and
// extended attributes, and renamed over the old one; then the folder is flushed. Nothing
// follows a symbolic link. The new file is removed again unless it was installed.
class PendingReplacement {
 public:
  PendingReplacement(int folderFd, std::string name);
  PendingReplacement(const PendingReplacement&) = delete;
  PendingReplacement& operator=(const PendingReplacement&) = delete;
  ~PendingReplacement();

  // Creates the new file: 0 or a registry status.
  std::int32_t Create();
  // The new file, for its content (for libraries that want a path, "/proc/self/fd/N" names
  // the same file).
  int fd() const { return fd_.get(); }
  // Lets the disk start on the content, so that the flushes of several files overlap.
  void StartFlush() const;
  // `like` gives the attributes (nullptr: mode 0644 and no attributes to copy). Returns 0 or
  // a registry status; on success `written` (when given) receives the new file's state.
  // Without `durable` nothing is flushed: for scratch files that a crash may lose.
  std::int32_t Install(const struct stat* like, FileState* written = nullptr, bool durable = true);

 private:
  int folderFd_;
  std::string name_;
  std::string temporary_;
  UniqueFd fd_;
  bool installed_ = false;
};

// Removes the new files that PendingReplacements of an interrupted run left in the folder
// (by their exact name pattern, and only those no process is still writing).
void RemoveStaleTemporaries(int folderFd);

// Replaces (or creates) `name` in the folder `folderFd` through a PendingReplacement.
// `writeContent` writes the whole content to the descriptor it gets and returns 0 or an errno
// value; `keepExisting` makes it leave an existing file alone (status 0). Returns 0 or a
// registry status; `like` and `written` as for PendingReplacement::Install.
// Keeps the untouched `hiveFd`, whose name in `folderFd` is `name`, as `backupName` beside
// it, durably, unless that name exists already: a hard link to the same file where the file
// system allows one (`tryLink`), else a flushed copy. 0 or a registry status.
std::int32_t KeepBackup(int folderFd, int hiveFd, const std::string& backupName, bool tryLink);

std::int32_t DurablyReplace(int folderFd, const std::string& name,
                            const std::function<int(int fd)>& writeContent, const struct stat* like,
                            bool keepExisting, FileState* written = nullptr);

}  // namespace ravlin

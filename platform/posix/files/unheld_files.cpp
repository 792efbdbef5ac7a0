#include "platform/posix/files/unheld_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {

void ForEachName(int folderFd, const std::function<void(const char* name)>& visit) {
  UniqueFd listing(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing.valid()) return;
  UniqueDir folder(::fdopendir(listing.get()));
  if (folder.get() == nullptr) return;
  static_cast<void>(listing.release());
  while (const dirent* entry = ::readdir(folder.get())) visit(entry->d_name);
}

void ForEachUnheldFile(int folderFd, const std::function<bool(std::string_view name)>& ours,
                       const std::function<void(const char* name)>& remove) {
  ForEachName(folderFd, [&](const char* name) {
    if (!ours(name)) return;
    UniqueFd file(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {
    }, named{};
    if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
      return;
    if (::fstatat(folderFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
      remove(name);
  });
}

void RemoveUnheldFiles(int folderFd, const std::function<bool(std::string_view name)>& ours) {
  ForEachUnheldFile(folderFd, ours,
                    [folderFd](const char* name) { ::unlinkat(folderFd, name, 0); });
}

}  // namespace ravlin

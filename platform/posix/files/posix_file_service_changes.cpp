#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string_view>
#include <vector>

#include "platform/posix/files/dos_attributes.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/files/unheld_files.hpp"
#include "platform/posix/runtime/posix_errors.hpp"
#include "platform/posix/runtime/unique_fd.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

bool NoWriteBit(mode_t mode) {
  return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file that a copy or move starts from; a folder, a missing file and wildcards are 53.
fs::path SourceFile(const DriveTable& drives, const std::string& source, struct stat& status) {
  if (source.empty() || HasWildcards(source)) throw RuntimeError(vb_error::kFileNotFound);
  fs::path native = NativePathOrThrow(drives, source);
  if (::stat(native.c_str(), &status) != 0) throw ErrorFromErrno(errno);
  if (!S_ISREG(status.st_mode)) throw RuntimeError(vb_error::kFileNotFound);
  return native;
}

// Where a copy or move lands. A destination ending in a separator is an existing folder that
// receives the file under the source's name (an entry of that name in any case is the one
// replaced, as on NTFS); otherwise the destination names the file, in an existing folder.
fs::path TargetFile(const DriveTable& drives, const std::string& destination,
                    const fs::path& source) {
  if (destination.empty()) throw RuntimeError(vb_error::kInvalidProcedureCall);
  if (HasWildcards(destination)) throw RuntimeError(vb_error::kBadFileName);
  const fs::path native = NativePathOrThrow(drives, destination);
  struct stat status {};
  if (EndsWithSeparator(destination)) {
    if (::stat(native.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
      throw RuntimeError(vb_error::kPathNotFound);
    return NativePathOrThrow(drives, destination + source.filename().string());
  }
  if (::stat(native.parent_path().c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
    throw RuntimeError(vb_error::kPathNotFound);
  return native;
}

constexpr std::string_view kCopyPrefix = ".~ravlin-";
constexpr std::size_t kCopyDigits = 8;

// ".~ravlin-" and eight hexadecimal digits, as TemporaryBeside names its files.
bool IsCopyTemporary(std::string_view name) {
  return name.size() == kCopyPrefix.size() + kCopyDigits && name.starts_with(kCopyPrefix) &&
         name.find_first_not_of("0123456789abcdef", kCopyPrefix.size()) == std::string_view::npos;
}

// A temporary file in the target's folder, removed unless it took the target's place. It is
// locked while it lives: what a killed copy left in the folder is removed first.
class TemporaryBeside {
 public:
  explicit TemporaryBeside(const beneath::Entry& target) : folder_(target.folder.get()) {
    RemoveUnheldFiles(folder_, IsCopyTemporary);
    std::random_device random;
    for (int attempt = 0; attempt < 100 && !file_.valid(); ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "%s%08x", kCopyPrefix.data(), random());
      file_ = UniqueFd(
          ::openat(folder_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (file_.valid())
        name_ = name;
      else if (errno != EEXIST)
        break;
    }
    if (!file_.valid()) throw ErrorFromErrno(errno, vb_error::kPathNotFound);
    static_cast<void>(::flock(file_.get(), LOCK_EX | LOCK_NB));
    // Keeps the lock past Close, until the file has its name.
    lock_ = UniqueFd(::fcntl(file_.get(), F_DUPFD_CLOEXEC, 0));
  }
  TemporaryBeside(const TemporaryBeside&) = delete;
  TemporaryBeside& operator=(const TemporaryBeside&) = delete;
  ~TemporaryBeside() {
    if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
  }

  int fd() const { return file_.get(); }
  // Closes the file, reporting a failure to write it out.
  void Close() {
    if (::close(file_.release()) != 0) throw ErrorFromErrno(errno);
  }
  void MoveTo(const beneath::Entry& target) {
    if (::renameat(folder_, name_.c_str(), target.folder.get(), target.name.c_str()) != 0)
      throw ErrorFromErrno(errno);
    name_.clear();
  }

 private:
  int folder_;
  UniqueFd file_;
  UniqueFd lock_;
  std::string name_;
};

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t count = ::write(fd, data, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    data += count;
    size -= static_cast<std::size_t>(count);
  }
}

// Copies content, permissions and times into a new file beside the target, which then takes
// the target's place in one step: a failure (a full disk) leaves the old target whole.
void CopyContent(const fs::path& source, const struct stat& sourceStatus,
                 const beneath::Entry& target) {
  const UniqueFd input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!input.valid()) throw ErrorFromErrno(errno);
  TemporaryBeside output(target);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t count = ::read(input.get(), buffer.data(), buffer.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    if (count == 0) break;
    WriteAll(output.fd(), buffer.data(), static_cast<std::size_t>(count));
  }
  const struct timespec times[2] = {sourceStatus.st_atim, sourceStatus.st_mtim};
  if (::fchmod(output.fd(), sourceStatus.st_mode & 07777) != 0 ||
      ::futimens(output.fd(), times) != 0 || ::fsync(output.fd()) != 0)
    throw ErrorFromErrno(errno);
  output.Close();
  output.MoveTo(target);
}

// Deletes the folder `name` of `parentFd` with everything in it, never following a link.
// `force` also takes read-only files and folders; without it they stop the deletion (70).
// The first failure ends the deletion; what was deleted before it stays deleted.
void RemoveTree(int parentFd, const std::string& name, bool force) {
  UniqueFd folder(
      ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.valid()) throw ErrorFromErrno(errno, vb_error::kPathNotFound);
  struct stat status {};
  if (::fstat(folder.get(), &status) != 0) throw ErrorFromErrno(errno);
  if (NoWriteBit(status.st_mode)) {
    if (!force) throw RuntimeError(vb_error::kPermissionDenied);
    if (::fchmod(folder.get(), (status.st_mode & 07777) | S_IWUSR) != 0)
      throw ErrorFromErrno(errno);
  }

  std::vector<std::string> names;
  {
    const UniqueDir stream(::fdopendir(::dup(folder.get())));
    if (stream.get() == nullptr) throw ErrorFromErrno(errno);
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(stream.get());
      if (entry == nullptr) {
        if (errno != 0) throw ErrorFromErrno(errno);
        break;
      }
      const std::string_view entryName = entry->d_name;
      if (entryName != "." && entryName != "..") names.emplace_back(entryName);
    }
  }

  for (const std::string& entryName : names) {
    struct stat entry {};
    if (::fstatat(folder.get(), entryName.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
      throw ErrorFromErrno(errno);
    if (S_ISDIR(entry.st_mode)) {
      RemoveTree(folder.get(), entryName, force);
      continue;
    }
    if (!force && S_ISREG(entry.st_mode) && NoWriteBit(entry.st_mode))
      throw RuntimeError(vb_error::kPermissionDenied);
    if (::unlinkat(folder.get(), entryName.c_str(), 0) != 0) throw ErrorFromErrno(errno);
  }
  if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0) throw ErrorFromErrno(errno);
}

}  // namespace

void PosixFileService::CopyFile(const std::string& source, const std::string& destination,
                                bool overwrite) {
  struct stat sourceStatus {};
  const fs::path from = SourceFile(*drives_, source, sourceStatus);
  const fs::path to = TargetFile(*drives_, destination, from);
  const beneath::Entry target = EntryOrThrow(*guest_, to, vb_error::kPathNotFound);
  struct stat targetStatus {};
  if (::fstatat(target.folder.get(), target.name.c_str(), &targetStatus, 0) == 0) {
    if (S_ISDIR(targetStatus.st_mode)) throw RuntimeError(vb_error::kPermissionDenied);
    if (!overwrite) throw RuntimeError(vb_error::kFileAlreadyExists);
    // A file copied onto itself would be lost; a read-only target is refused as on Windows.
    if (SameEntry(sourceStatus, targetStatus) ||
        (ReadDosAttributes(to, targetStatus) & dos_attribute::kReadOnly) != 0)
      throw RuntimeError(vb_error::kPermissionDenied);
  }
  CopyContent(from, sourceStatus, target);
}

void PosixFileService::MoveFile(const std::string& source, const std::string& destination) {
  struct stat sourceStatus {};
  const fs::path from = SourceFile(*drives_, source, sourceStatus);
  const fs::path to = TargetFile(*drives_, destination, from);
  const beneath::Entry origin = EntryOrThrow(*guest_, from, vb_error::kPathNotFound);
  const beneath::Entry target = EntryOrThrow(*guest_, to, vb_error::kPathNotFound);
  struct stat targetStatus {};
  if (::fstatat(target.folder.get(), target.name.c_str(), &targetStatus, AT_SYMLINK_NOFOLLOW) == 0)
    throw RuntimeError(vb_error::kFileAlreadyExists);
  if (::renameat2(origin.folder.get(), origin.name.c_str(), target.folder.get(),
                  target.name.c_str(), RENAME_NOREPLACE) == 0)
    return;
  const int error = errno;
  if (error == EINVAL || error == ENOSYS) {
    // A file system without the no-replace rename; the target was absent a moment ago.
    if (::renameat(origin.folder.get(), origin.name.c_str(), target.folder.get(),
                   target.name.c_str()) != 0)
      throw ErrorFromErrno(errno);
    return;
  }
  if (error != EXDEV) throw ErrorFromErrno(error);
  // Another file system: copy, then delete the source.
  CopyContent(from, sourceStatus, target);
  if (::unlinkat(origin.folder.get(), origin.name.c_str(), 0) != 0) throw ErrorFromErrno(errno);
}

void PosixFileService::DeleteFolder(const std::string& path, bool force) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kPathNotFound);
  const fs::path native = NativePathOrThrow(*drives_, path);
  struct stat status {};
  if (::lstat(native.c_str(), &status) != 0) throw ErrorFromErrno(errno, vb_error::kPathNotFound);
  if (!S_ISDIR(status.st_mode)) throw RuntimeError(vb_error::kPathNotFound);
  // A drive's root is never deleted (Z: is the machine's own root).
  for (const char letter : drives_->Letters()) {
    struct stat root {};
    const auto rootPath = drives_->RootOf(letter);
    if (rootPath && ::stat(rootPath->c_str(), &root) == 0 && SameEntry(root, status))
      throw RuntimeError(vb_error::kPermissionDenied);
  }
  if (!native.has_parent_path() || native == native.root_path())
    throw RuntimeError(vb_error::kPermissionDenied);
  const beneath::Entry entry = EntryOrThrow(*guest_, native, vb_error::kPathNotFound);
  RemoveTree(entry.folder.get(), entry.name, force);
}

}  // namespace ravlin

#include "platform/posix/files/posix_file_replace.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/posix/runtime/posix_errors.hpp"
#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

// The classic error for a registry status of the storage helpers.
RuntimeError ErrorFromStatus(std::int32_t status) {
  switch (status) {
    case kErrorDiskFull:
      return RuntimeError(vb_error::kDiskFull);
    case kErrorAccessDenied:
    case kErrorWriteProtect:
      return RuntimeError(vb_error::kPermissionDenied);
    case kErrorFileNotFound:
      return RuntimeError(vb_error::kFileNotFound);
    default:
      return RuntimeError(vb_error::kPathFileAccessError);
  }
}

// The entry must be a regular file itself: a link would put what it leads to in play, and a
// folder is no file to replace (53); anything else is 75.
void RequireRegularFile(const beneath::Entry& entry) {
  struct stat status {};
  if (::fstatat(entry.folder.get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    throw ErrorFromErrno(errno);
  if (S_ISDIR(status.st_mode)) throw RuntimeError(vb_error::kFileNotFound);
  if (!S_ISREG(status.st_mode)) throw RuntimeError(vb_error::kPathFileAccessError);
}

void FlushFolder(const beneath::Entry& entry) {
  if (::fsync(entry.folder.get()) != 0 && errno != EINVAL && errno != EROFS)
    throw ErrorFromErrno(errno);
}

}  // namespace

PosixFileReplacer::PosixFileReplacer(std::shared_ptr<const DriveTable> drives,
                                     std::shared_ptr<GuestRoot> guest)
    : drives_(std::move(drives)), guest_(std::move(guest)) {}

void PosixFileReplacer::ReplaceFile(const std::string& target, const std::string& replacement,
                                    const std::string& keepOldAs) {
  const beneath::Entry targetEntry =
      EntryOrThrow(*guest_, NativePathOrThrow(*drives_, target), vb_error::kPathNotFound);
  const beneath::Entry replacementEntry =
      EntryOrThrow(*guest_, NativePathOrThrow(*drives_, replacement), vb_error::kPathNotFound);
  const beneath::Entry keptEntry =
      EntryOrThrow(*guest_, NativePathOrThrow(*drives_, keepOldAs), vb_error::kPathNotFound);
  RequireRegularFile(targetEntry);
  RequireRegularFile(replacementEntry);
  struct stat kept {};
  if (::fstatat(keptEntry.folder.get(), keptEntry.name.c_str(), &kept, AT_SYMLINK_NOFOLLOW) == 0)
    throw RuntimeError(vb_error::kFileAlreadyExists);

  // The old target is kept first (a hard link, or a flushed copy that takes its name whole).
  const UniqueFd old(::openat(targetEntry.folder.get(), targetEntry.name.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!old.valid()) throw ErrorFromErrno(errno);
  if (const auto status = KeepBackup(keptEntry.folder.get(), old.get(), keptEntry.name, true);
      status != kErrorSuccess)
    throw ErrorFromStatus(status);
  if (::renameat(replacementEntry.folder.get(), replacementEntry.name.c_str(),
                 targetEntry.folder.get(), targetEntry.name.c_str()) != 0) {
    const int error = errno;
    ::unlinkat(keptEntry.folder.get(), keptEntry.name.c_str(), 0);
    throw ErrorFromErrno(error);
  }
  FlushFolder(targetEntry);
  FlushFolder(replacementEntry);
}

}  // namespace ravlin

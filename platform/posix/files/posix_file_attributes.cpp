#include "platform/posix/files/posix_file_attributes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/files/dos_attributes.hpp"
#include "platform/posix/runtime/posix_errors.hpp"

namespace ravlin {
namespace {

// Wildcards name no single entry; Windows refuses them in these calls.
void RefuseWildcards(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kBadFileNameOrNumber);
}

}  // namespace

PosixFileAttributes::PosixFileAttributes(std::shared_ptr<const DriveTable> drives,
                                         std::shared_ptr<GuestRoot> guest)
    : drives_(std::move(drives)), guest_(std::move(guest)) {}

std::uint16_t PosixFileAttributes::GetAttr(const std::string& path) {
  RefuseWildcards(path);
  return ReadDosAttributes(NativePathOrThrow(*drives_, path));
}

void PosixFileAttributes::SetAttr(const std::string& path, std::uint16_t attributes) {
  RefuseWildcards(path);
  // The entry is opened first, beneath the guest where it lies there, and changed through
  // its descriptor's name, so that no link met on the way can lead the change elsewhere.
  const beneath::Opened entry = guest_->Open(NativePathOrThrow(*drives_, path), O_PATH);
  if (entry.error != 0) throw ErrorFromErrno(entry.error);
  WriteDosAttributes("/proc/self/fd/" + std::to_string(entry.fd.get()), attributes);
}

void PosixFileAttributes::Kill(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  const auto native = NativePathOrThrow(*drives_, path);
  const beneath::Entry entry = EntryOrThrow(*guest_, native, vb_error::kFileNotFound);
  struct stat status {};
  if (::fstatat(entry.folder.get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    throw ErrorFromErrno(errno);
  if (S_ISDIR(status.st_mode)) throw RuntimeError(vb_error::kFileNotFound);
  // A link goes by itself; Linux would let root unlink a read-only file, Windows does not.
  if (!S_ISLNK(status.st_mode) &&
      (ReadDosAttributes(native, status) & dos_attribute::kReadOnly) != 0)
    throw RuntimeError(vb_error::kPermissionDenied);
  if (::unlinkat(entry.folder.get(), entry.name.c_str(), 0) != 0) throw ErrorFromErrno(errno);
}

}  // namespace ravlin

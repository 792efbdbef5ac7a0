#include "platform/posix/posix_file_attributes.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/dos_attributes.hpp"
#include "platform/posix/posix_errors.hpp"

namespace ravlin {
namespace {

// Wildcards name no single entry; Windows refuses them in these calls.
void RefuseWildcards(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kBadFileNameOrNumber);
}

}  // namespace

PosixFileAttributes::PosixFileAttributes(std::shared_ptr<const DriveTable> drives)
    : drives_(std::move(drives)) {}

std::uint16_t PosixFileAttributes::GetAttr(const std::string& path) {
  RefuseWildcards(path);
  return ReadDosAttributes(NativePathOrThrow(*drives_, path));
}

void PosixFileAttributes::SetAttr(const std::string& path, std::uint16_t attributes) {
  RefuseWildcards(path);
  WriteDosAttributes(NativePathOrThrow(*drives_, path), attributes);
}

void PosixFileAttributes::Kill(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  const auto native = NativePathOrThrow(*drives_, path);
  struct stat status {};
  if (::lstat(native.c_str(), &status) != 0) throw ErrorFromErrno(errno);
  if (S_ISDIR(status.st_mode)) throw RuntimeError(vb_error::kFileNotFound);
  // A link goes by itself; Linux would let root unlink a read-only file, Windows does not.
  if (!S_ISLNK(status.st_mode) &&
      (ReadDosAttributes(native, status) & dos_attribute::kReadOnly) != 0)
    throw RuntimeError(vb_error::kPermissionDenied);
  if (::unlink(native.c_str()) != 0) throw ErrorFromErrno(errno);
}

bool PosixFileAttributes::SetFileAttributesA(const std::string& path, std::uint32_t attributes) {
  try {
    SetAttr(path, static_cast<std::uint16_t>(attributes));
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

bool PosixFileAttributes::DeleteFileA(const std::string& path) {
  try {
    Kill(path);
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace ravlin

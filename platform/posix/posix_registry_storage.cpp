#include "platform/posix/posix_registry_storage.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <system_error>
#include <vector>

#include "platform/registry.hpp"

namespace ravlin {
namespace {

// Copies the extended attributes that can be copied; others (a file system that does not
// take them, a namespace reserved to the administrator) stay as the new file has them.
void CopyExtendedAttributes(int from, int to) {
  const auto listSize = ::flistxattr(from, nullptr, 0);
  if (listSize <= 0) return;
  std::vector<char> names(static_cast<std::size_t>(listSize));
  const auto got = ::flistxattr(from, names.data(), names.size());
  if (got <= 0) return;
  for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
    const char* name = names.data() + at;
    at += std::char_traits<char>::length(name) + 1;
    const auto valueSize = ::fgetxattr(from, name, nullptr, 0);
    if (valueSize < 0) continue;
    std::vector<char> value(static_cast<std::size_t>(valueSize));
    const auto valueGot = ::fgetxattr(from, name, value.data(), value.size());
    if (valueGot < 0) continue;
    ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(valueGot), 0);
  }
}

std::string TemporaryName(const std::string& name) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return "." + name + ".ravlin-" + std::to_string(random() % 100000000) + ".tmp";
}

}  // namespace

StoreLock::StoreLock(const std::filesystem::path& store, Mode mode) {
  std::error_code error;
  std::filesystem::create_directories(store, error);
  fd_ = UniqueFd(::open((store / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), store.string());
  while (::flock(fd_.get(), mode == Mode::kShared ? LOCK_SH : LOCK_EX) != 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "flock");
  }
}

FileState FileState::Of(const struct stat& info) {
  return FileState{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

bool FileState::operator==(const FileState& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

int WriteFully(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  for (std::size_t done = 0; done < size;) {
    const auto n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

std::int32_t StatusFromErrno(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case ELOOP:
      return kErrorCantResolveFilename;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    default:
      return kErrorRegistryIoFailed;
  }
}

int CopyContent(int from, int to) {
  bool inKernel = true;
  for (;;) {
    if (inKernel) {
      const auto n = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
      if (n > 0) continue;
      if (n == 0) return 0;
      if (errno == EINTR) continue;
      // Across file systems, or where the kernel or the file system cannot, copy by hand.
      if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return errno;
      inKernel = false;
    }
    std::array<char, 65536> buffer{};
    const auto n = ::read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    if (const int error = WriteFully(to, buffer.data(), static_cast<std::size_t>(n)); error != 0)
      return error;
  }
}

PendingReplacement::PendingReplacement(int folderFd, std::string name)
    : folderFd_(folderFd), name_(std::move(name)), temporary_(TemporaryName(name_)) {}

PendingReplacement::~PendingReplacement() {
  if (fd_.valid() && !installed_) ::unlinkat(folderFd_, temporary_.c_str(), 0);
}

std::int32_t PendingReplacement::Create() {
  fd_ = UniqueFd(::openat(folderFd_, temporary_.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  return fd_.valid() ? kErrorSuccess : StatusFromErrno(errno);
}

void PendingReplacement::StartFlush() const {
  // Only a head start: Install's fsync reports any failure.
  static_cast<void>(::sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE));
}

std::int32_t PendingReplacement::Install(const struct stat* like, FileState* written) {
  if (like != nullptr) {
    struct stat created {};
    if (::fstat(fd_.get(), &created) != 0) return StatusFromErrno(errno);
    // Only the administrator may give a file away; the file stays usable without it.
    if (created.st_uid != like->st_uid || created.st_gid != like->st_gid)
      static_cast<void>(::fchown(fd_.get(), like->st_uid, like->st_gid));
    if (::fchmod(fd_.get(), like->st_mode & 07777) != 0) return StatusFromErrno(errno);
    UniqueFd original(::openat(folderFd_, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (original.valid()) CopyExtendedAttributes(original.get(), fd_.get());
  } else if (::fchmod(fd_.get(), 0644) != 0) {
    return StatusFromErrno(errno);
  }
  if (::fsync(fd_.get()) != 0) return StatusFromErrno(errno);
  struct stat result {};
  if (::fstat(fd_.get(), &result) != 0) return StatusFromErrno(errno);
  if (::renameat(folderFd_, temporary_.c_str(), folderFd_, name_.c_str()) != 0)
    return StatusFromErrno(errno);
  installed_ = true;
  // Some file systems cannot flush a folder (EINVAL); the rename is then as durable as
  // they make it.
  if (::fsync(folderFd_) != 0 && errno != EINVAL && errno != EROFS) return StatusFromErrno(errno);
  if (written != nullptr) *written = FileState::Of(result);
  return kErrorSuccess;
}

std::int32_t DurablyReplace(int folderFd, const std::string& name,
                            const std::function<int(int fd)>& writeContent, const struct stat* like,
                            bool keepExisting, FileState* written) {
  struct stat existing {};
  if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    if (keepExisting) return kErrorSuccess;
    if (!S_ISREG(existing.st_mode)) return kErrorCantResolveFilename;
  } else if (errno != ENOENT) {
    return StatusFromErrno(errno);
  }
  PendingReplacement replacement(folderFd, name);
  if (const auto status = replacement.Create(); status != kErrorSuccess) return status;
  if (const int error = writeContent(replacement.fd()); error != 0) return StatusFromErrno(error);
  return replacement.Install(like, written);
}

}  // namespace ravlin

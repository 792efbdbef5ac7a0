#include "platform/posix/registry/posix_registry_storage.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <string_view>
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

constexpr std::string_view kTemporaryInfix = ".ravlin-";
constexpr std::string_view kTemporarySuffix = ".tmp";

std::string TemporaryName(const std::string& name) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return "." + name + std::string(kTemporaryInfix) + std::to_string(random() % 100000000) +
         std::string(kTemporarySuffix);
}

// ".NAME.ravlin-DIGITS.tmp", as TemporaryName makes them, and nothing else.
bool IsOurTemporaryName(std::string_view name) {
  if (name.size() < 2 || name.front() != '.' || !name.ends_with(kTemporarySuffix)) return false;
  name.remove_suffix(kTemporarySuffix.size());
  const auto infix = name.rfind(kTemporaryInfix);
  if (infix == std::string_view::npos || infix < 2) return false;
  const auto digits = name.substr(infix + kTemporaryInfix.size());
  return !digits.empty() && digits.size() <= 8 &&
         digits.find_first_not_of("0123456789") == std::string_view::npos;
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

StoreClaim::StoreClaim(const std::filesystem::path& store) {
  std::error_code error;
  std::filesystem::create_directories(store, error);
  fd_ = UniqueFd(::open((store / ".repair").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  // A store that cannot be reached holds no claim either; the registry calls report it.
  if (!fd_.valid()) {
    held_ = true;
    return;
  }
  while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return;
  }
  held_ = true;
}

namespace {
constexpr const char* kEditorsFile = ".editors";
}  // namespace

EditorPresence::EditorPresence(const std::filesystem::path& store) {
  std::error_code error;
  std::filesystem::create_directories(store, error);
  fd_ = UniqueFd(::open((store / kEditorsFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd_.valid()) return;
  while (::flock(fd_.get(), LOCK_SH) != 0 && errno == EINTR) {
  }
}

bool EditorPresence::AnyIn(const std::filesystem::path& store) {
  const UniqueFd fd(::open((store / kEditorsFile).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return false;
    if (errno != EINTR) return true;
  }
}

FileState FileState::Of(const struct stat& info) {
  return FileState{info.st_dev, info.st_ino, info.st_size, info.st_ctim};
}

bool FileState::At(int folderFd, const std::string& name, FileState& state) {
  struct stat info {};
  if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
    return false;
  state = Of(info);
  return true;
}

bool FileState::operator==(const FileState& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
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
    case EISDIR:
      return kErrorAccessDenied;
    case EROFS:
      return kErrorWriteProtect;
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
  if (!fd_.valid()) return StatusFromErrno(errno);
  // Held while the file is being written, so that RemoveStaleTemporaries leaves it alone.
  static_cast<void>(::flock(fd_.get(), LOCK_EX | LOCK_NB));
  return kErrorSuccess;
}

void RemoveStaleTemporaries(int folderFd) {
  RemoveUnheldFiles(folderFd, IsOurTemporaryName);
}

void PendingReplacement::StartFlush() const {
  // Only a head start: Install's fsync reports any failure.
  static_cast<void>(::sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE));
}

std::int32_t PendingReplacement::Install(const struct stat* like, FileState* written,
                                         bool durable) {
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
  if (durable && ::fsync(fd_.get()) != 0) return StatusFromErrno(errno);
  if (::renameat(folderFd_, temporary_.c_str(), folderFd_, name_.c_str()) != 0)
    return StatusFromErrno(errno);
  installed_ = true;
  // Some file systems cannot flush a folder (EINVAL); the rename is then as durable as
  // they make it.
  if (durable && ::fsync(folderFd_) != 0 && errno != EINVAL && errno != EROFS)
    return StatusFromErrno(errno);
  // After the rename, which moves the change time.
  struct stat result {};
  if (::fstat(fd_.get(), &result) != 0) return StatusFromErrno(errno);
  if (written != nullptr) *written = FileState::Of(result);
  return kErrorSuccess;
}

std::int32_t KeepBackup(int folderFd, int hiveFd, const std::string& backupName, bool tryLink) {
  struct stat existing {};
  if (::fstatat(folderFd, backupName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    // Only a regular file is the untouched hive kept by an earlier repair; a link, a folder or
    // a device under that name holds no copy of it, and the hive must not be replaced.
    if (S_ISLNK(existing.st_mode)) return kErrorCantResolveFilename;
    return S_ISREG(existing.st_mode) ? kErrorSuccess : kErrorAccessDenied;
  }
  if (errno != ENOENT) return StatusFromErrno(errno);
  if (tryLink) {
    // The descriptor's own file, not whatever the name may lead to by now.
    const auto self = "/proc/self/fd/" + std::to_string(hiveFd);
    if (::linkat(AT_FDCWD, self.c_str(), folderFd, backupName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      if (::fsync(folderFd) != 0 && errno != EINVAL && errno != EROFS)
        return StatusFromErrno(errno);
      return kErrorSuccess;
    }
    // FAT and some network file systems have no hard links: a copy does the same.
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EXDEV && errno != EMLINK &&
        errno != ENOSYS && errno != EACCES)
      return StatusFromErrno(errno);
  }
  struct stat hive {};
  if (::fstat(hiveFd, &hive) != 0) return StatusFromErrno(errno);
  UniqueFd source(
      ::open(("/proc/self/fd/" + std::to_string(hiveFd)).c_str(), O_RDONLY | O_CLOEXEC));
  if (!source.valid()) return StatusFromErrno(errno);
  PendingReplacement copy(folderFd, backupName);
  if (const auto status = copy.Create(); status != kErrorSuccess) return status;
  if (const int error = CopyContent(source.get(), copy.fd()); error != 0)
    return StatusFromErrno(error);
  return copy.Install(&hive);
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

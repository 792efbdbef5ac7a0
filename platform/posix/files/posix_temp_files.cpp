#include "platform/posix/files/posix_temp_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "platform/posix/files/unheld_files.hpp"
#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {
namespace {

// Windows' path buffers hold 260 characters with the final NUL.
constexpr std::size_t kMaxPath = 260;
constexpr std::uint32_t kNumberRange = 0x10000;

std::string NameFor(const std::string& folder, const std::string& prefix, std::uint32_t number) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  char digits[8];
  std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(number & 0xFFFF));
  return path + prefix.substr(0, 3) + digits + ".TMP";
}

// $TMPDIR, else /tmp.
std::filesystem::path TempFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  return (tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp";
}

constexpr std::string_view kScratchSuffix = ".TMP";
constexpr std::string_view kScratchFolderSuffix = ".d";

// "<prefix><one to four hexadecimal digits>.TMP", as NameFor makes them.
bool IsReservationName(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || !name.ends_with(kScratchSuffix)) return false;
  const auto digits =
      name.substr(prefix.size(), name.size() - prefix.size() - kScratchSuffix.size());
  return !digits.empty() && digits.size() <= 4 &&
         digits.find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

// Whether `name` in the folder is a real folder (not a link) of this user.
bool OwnFolder(int folderFd, const std::string& name) {
  struct stat info {};
  return ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

class LockedTempFile : public TempHold {
 public:
  explicit LockedTempFile(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;
};

}  // namespace

PosixTempFiles::PosixTempFiles(std::shared_ptr<const DriveTable> drives,
                               std::shared_ptr<GuestRoot> guest)
    : drives_(std::move(drives)),
      guest_(std::move(guest)),
      nextNumber_(
          static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
}

std::uint32_t PosixTempFiles::GetTempPathA(std::uint32_t bufferLength, std::string& buffer) {
  std::string folder = drives_->ToWindows(TempFolder());
  if (folder.empty()) return 0;
  if (folder.back() != '\\') folder += '\\';
  const auto length = static_cast<std::uint32_t>(folder.size());
  // As on Windows, a buffer that is too small stays untouched and the size it needs comes back.
  if (length + 1 > bufferLength) return length + 1;
  buffer = folder;
  return length;
}

std::uint32_t PosixTempFiles::GetTempFileNameA(const std::string& folder, const std::string& prefix,
                                               std::uint32_t unique, std::string& buffer) {
  if (unique != 0) {
    const std::string name = NameFor(folder, prefix, unique);
    if (name.size() >= kMaxPath) return 0;
    buffer = name;
    return unique & 0xFFFF;
  }
  for (std::uint32_t attempt = 0; attempt < kNumberRange; ++attempt) {
    const std::uint32_t number = (nextNumber_++ % (kNumberRange - 1)) + 1;
    const std::string name = NameFor(folder, prefix, number);
    if (name.size() >= kMaxPath) return 0;
    const auto native = drives_->ResolveNative(name);
    if (!native) return 0;
    if (const int error = guest_->Open(*native, O_WRONLY | O_CREAT | O_EXCL, 0666).error;
        error != 0) {
      if (error != EEXIST) return 0;
      continue;
    }
    buffer = name;
    return number;
  }
  return 0;
}

std::unique_ptr<TempHold> PosixTempFiles::HoldTempFile(const std::string& path) {
  const auto native = drives_->ResolveNative(path);
  if (!native) return nullptr;
  UniqueFd file(::open(native->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.valid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
  return std::make_unique<LockedTempFile>(std::move(file));
}

void PosixTempFiles::RemoveUnheldScratch(const std::string& prefix) {
  const std::string start = prefix.substr(0, 3);
  const auto folder = TempFolder();
  UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folderFd.valid()) return;
  // Only this user's own entries: in a temporary folder every user can write, another user's
  // entries could be swapped for links while they are removed. A reservation is always empty.
  const auto ours = [&](std::string_view name) {
    struct stat info {};
    return IsReservationName(name, start) &&
           ::fstatat(folderFd.get(), std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           info.st_uid == ::geteuid() && info.st_size == 0;
  };
  // The folder goes first: a reservation without its folder is removed all the same, since a
  // run killed while it made or removed its scratch leaves one.
  ForEachUnheldFile(folderFd.get(), ours, [&](const char* name) {
    const std::string scratch = std::string(name) + std::string(kScratchFolderSuffix);
    std::error_code error;
    if (OwnFolder(folderFd.get(), scratch)) std::filesystem::remove_all(folder / scratch, error);
    if (!error) ::unlinkat(folderFd.get(), name, 0);
  });
}

}  // namespace ravlin

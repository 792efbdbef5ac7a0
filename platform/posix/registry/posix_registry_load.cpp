#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <random>
#include <string_view>

#include "platform/posix/files/beneath.hpp"
#include "platform/posix/registry/hive_logs.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "platform/posix/registry/posix_registry_names.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

// A guest's SYSTEM hive lies this far below its Windows folder, beneath which every file
// the mount writes must stay.
constexpr std::string_view kSystemHive = "\\system32\\config\\system";
constexpr int kSystemHiveDepth = 3;
// Working copies in the store; a copy that was not written back is kept under a new name.
constexpr std::string_view kCopyPrefix = "mount-";
constexpr std::string_view kCopySuffix = ".hiv";
constexpr std::string_view kSocketSuffix = ".sock";
constexpr std::string_view kKeptPrefix = "kept-";

// Windows takes either slash as the separator.
bool EndsWithPath(std::string_view text, std::string_view tail) {
  const auto fold = [](char c) { return c == '/' ? '\\' : LowerAscii(c); };
  return text.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), text.end() - static_cast<long>(tail.size()),
                    [&](char a, char b) { return fold(a) == fold(b); });
}

bool IsWithin(const std::filesystem::path& path, const std::filesystem::path& folder) {
  const auto [folderEnd, pathAt] =
      std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  // A trailing separator of `folder` leaves an empty last component.
  return folderEnd == folder.end() || (std::next(folderEnd) == folder.end() && folderEnd->empty());
}

// A link leading out of the folder is 1921; a process that may not override file permissions
// lacks what the hive privileges stand for.
std::int32_t OpenStatus(int error, const PrivilegeState& privileges) {
  if (error == EXDEV || error == ELOOP) return kErrorCantResolveFilename;
  if ((error == EACCES || error == EPERM) && !privileges.OverridesFilePermissions())
    return kErrorPrivilegeNotHeld;
  return StatusFromErrno(error);
}

// The folder every write stays beneath and the hive's path below it, for a Windows path
// text: a guest's SYSTEM hive below its Windows folder, any other file below its own folder.
std::int32_t LocateHive(const DriveTable& drives, const std::string& windowsPath,
                        std::filesystem::path& top, std::string& relative) {
  const auto native = drives.ToNative(windowsPath);
  if (!native || !native->has_filename()) return kErrorFileNotFound;
  top = native->parent_path();
  if (EndsWithPath(windowsPath, kSystemHive))
    for (int level = 1; level < kSystemHiveDepth; ++level) top = top.parent_path();
  relative = native->lexically_relative(top).string();
  return kErrorSuccess;
}

// A hive file opened beneath its top folder, never through a link, with the folder holding it.
struct OpenedHive {
  UniqueFd folder;
  std::string name;
  UniqueFd file;
  struct stat info {};
};

std::int32_t OpenHive(const std::filesystem::path& top, const std::string& relative, int flags,
                      const PrivilegeState& privileges, OpenedHive& hive) {
  const auto root = beneath::OpenRoot(top.string());
  if (!root.fd.valid()) return OpenStatus(root.error, privileges);
  auto entry = beneath::OpenEntry(root.fd.get(), relative);
  if (!entry.folder.valid()) return OpenStatus(entry.error, privileges);
  struct stat link {};
  if (::fstatat(entry.folder.get(), entry.name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
    return OpenStatus(errno, privileges);
  if (S_ISLNK(link.st_mode)) return kErrorCantResolveFilename;
  if (!S_ISREG(link.st_mode)) return kErrorAccessDenied;
  // Opening never waits, should a FIFO take the file's place after the look above.
  UniqueFd file(::openat(entry.folder.get(), entry.name.c_str(),
                         flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.valid()) return OpenStatus(errno, privileges);
  if (::fstat(file.get(), &hive.info) != 0) return StatusFromErrno(errno);
  if (!S_ISREG(hive.info.st_mode)) return kErrorAccessDenied;
  hive.folder = std::move(entry.folder);
  hive.name = std::move(entry.name);
  hive.file = std::move(file);
  return kErrorSuccess;
}

std::string NewCopyName() {
  std::random_device random;
  return std::string(kCopyPrefix) + std::to_string(random()) + std::to_string(random()) +
         std::string(kCopySuffix);
}

// Working copies and importer sockets no mount names any more: left by a run interrupted
// while it mounted or held a mount.
void RemoveOrphanCopies(int storeFd, const std::vector<Mount>& mounts) {
  ForEachName(storeFd, [&](const char* entry) {
    const std::string_view name = entry;
    if (name.starts_with(kCopyPrefix) &&
        (name.ends_with(kCopySuffix) || name.ends_with(kSocketSuffix)) &&
        std::none_of(mounts.begin(), mounts.end(), [&](const Mount& mount) {
          return mount.copy == name || ImportSocketName(mount) == name;
        }))
      ::unlinkat(storeFd, entry, 0);
  });
}

bool SameContent(int a, int b) {
  std::array<char, 65536> left{}, right{};
  for (off_t at = 0;; at += static_cast<off_t>(left.size())) {
    const auto got = ::pread(a, left.data(), left.size(), at);
    if (got < 0 || ::pread(b, right.data(), right.size(), at) != got) return false;
    if (got == 0) return true;
    if (!std::equal(left.begin(), left.begin() + got, right.begin())) return false;
  }
}

// Whether the hive's only change since the load is the link that keeps it as its backup:
// an unload interrupted after making the link leaves the content as it was, yet the link
// moved the change time. The same file, its size kept and no write after the load.
bool OnlyOurBackupLinkSince(const OpenedHive& guest, const FileState& loaded) {
  struct stat backup {};
  const auto& written = guest.info.st_mtim;
  return guest.info.st_dev == loaded.device && guest.info.st_ino == loaded.inode &&
         guest.info.st_size == loaded.size &&
         (written.tv_sec < loaded.changed.tv_sec ||
          (written.tv_sec == loaded.changed.tv_sec && written.tv_nsec <= loaded.changed.tv_nsec)) &&
         ::fstatat(guest.folder.get(), (guest.name + ".ravlin-backup").c_str(), &backup,
                   AT_SYMLINK_NOFOLLOW) == 0 &&
         backup.st_dev == guest.info.st_dev && backup.st_ino == guest.info.st_ino;
}

// Writes the working copy, or the hive held in memory (`held`, when it has changes), back into
// the guest once, crash-safely, after keeping the untouched hive as its backup. 0 also when
// there is nothing to write; 1006 when the guest's hive changed since the load (nothing is
// written over it); 1009 when the copy is damaged.
// A held hive is dropped from memory once written, before the written file is read back,
// so that the two are never in memory at once; should the file then fail the check, the
// changes are gone with it (the guest's hive stays as it was).
std::int32_t WriteBack(const Mount& mount, int storeFd, const PrivilegeState& privileges,
                       std::unique_ptr<HiveFile>* heldFile) {
  HiveFile* held = heldFile != nullptr ? heldFile->get() : nullptr;
  UniqueFd copy(::openat(storeFd, mount.copy.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!copy.valid()) return errno == ENOENT ? kErrorBadDb : StatusFromErrno(errno);
  struct stat copyInfo {};
  if (::fstat(copy.get(), &copyInfo) != 0) return StatusFromErrno(errno);
  if (held != nullptr && !held->changed()) held = nullptr;
  if (held == nullptr && FileState::Of(copyInfo) == mount.copied) return kErrorSuccess;

  OpenedHive guest;
  if (const auto status = OpenHive(mount.top, mount.hive, O_RDONLY, privileges, guest);
      status != kErrorSuccess)
    return status;
  if (!(FileState::Of(guest.info) == mount.guest) && !OnlyOurBackupLinkSince(guest, mount.guest))
    // Unless this is the copy itself, written back by a run interrupted just afterwards.
    return held == nullptr && SameContent(guest.file.get(), copy.get()) ? kErrorSuccess
                                                                        : kErrorFileInvalid;
  if (held == nullptr) {
    if (const auto status = CheckHiveContent(copy.get()); status != kErrorSuccess)
      return status == kErrorAccessDenied ? status : kErrorBadDb;
  }

  if (const auto status =
          KeepBackup(guest.folder.get(), guest.file.get(), guest.name + ".ravlin-backup", true);
      status != kErrorSuccess)
    return status;
  PendingReplacement replacement(guest.folder.get(), guest.name);
  if (const auto status = replacement.Create(); status != kErrorSuccess) return status;
  if (held != nullptr) {
    if (const auto status = held->WriteImage(replacement.fd()); status != kErrorSuccess)
      return status;
    heldFile->reset();
    // A file that we could not open again must never take the hive's place.
    if (const auto status = CheckHiveContent(replacement.fd()); status != kErrorSuccess)
      return status;
  } else if (const int error = CopyContent(copy.get(), replacement.fd()); error != 0) {
    return StatusFromErrno(error);
  }
  replacement.StartFlush();
  struct stat now {};
  if (::fstatat(guest.folder.get(), guest.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      now.st_dev != guest.info.st_dev || now.st_ino != guest.info.st_ino)
    return kErrorFileInvalid;
  return replacement.Install(&guest.info);
}

}  // namespace

std::int32_t PosixRegistry::RegLoadKeyA(RegKey key, const std::string& subKey,
                                        const std::string& file) {
  if (!CanMountBelow(key) || subKey.empty() || subKey.find('\\') != std::string::npos ||
      file.empty())
    return kErrorInvalidParameter;
  lastLoadRecovery_ = {};
  if (!privileges_->HiveCallsAllowed()) return kErrorPrivilegeNotHeld;
  return Guarded([&] {
    Locked lock(*this, StoreLock::Mode::kExclusive);
    auto mounts = mounts_.Read();
    // A mount whose file is gone (its disk was detached) holds nothing: its name is free.
    if (std::erase_if(mounts, [](const Mount& mount) {
          struct stat info {};
          return ::lstat(mount.file.c_str(), &info) != 0 && errno == ENOENT;
        }) > 0) {
      if (const auto status = mounts_.Write(mounts); status != kErrorSuccess) return status;
    }
    if (MountTable::Find(mounts, RootName(key), subKey)) return kErrorAccessDenied;
    RegKey existing = 0;
    if (RegOpenKeyExA(key, subKey, 0, kKeyQueryValue, existing) == kErrorSuccess) {
      RegCloseKey(existing);
      return kErrorAccessDenied;
    }

    Mount mount;
    mount.root = RootName(key);
    mount.name = subKey;
    if (const auto status = LocateHive(*drives_, file, mount.top, mount.hive);
        status != kErrorSuccess)
      return status;
    // Mounting needs the file writable and its folder too (the unload replaces the file):
    // checked now, so that a mount never fails later when it is written back.
    OpenedHive guest;
    if (const auto status = OpenHive(mount.top, mount.hive, O_RDWR, *privileges_, guest);
        status != kErrorSuccess)
      return status;
    if (::faccessat(guest.folder.get(), ".", W_OK | X_OK, 0) != 0)
      return OpenStatus(errno, *privileges_);
    // What an interrupted run left beside the hive would fill a nearly full guest in time.
    RemoveStaleTemporaries(guest.folder.get());
    // A hive Windows did not close cleanly is brought up to date from its logs in memory; the
    // guest's hive and logs stay as found, and the backup made at the unload is that hive.
    std::vector<std::uint8_t> recovered;
    if (const auto status = RecoverHiveFile(guest.folder.get(), guest.file.get(), guest.name,
                                            recovered, lastLoadRecovery_);
        status != kErrorSuccess)
      return status;
    // Refused, it fails the check as before: 1015, or 1009 for a damaged base block. A hive
    // this object holds is read by libhivex right after it is copied, which checks it then.
    if (lastLoadRecovery_.state != HiveRecovery::State::kRecovered) {
      if (const auto status =
              holdMounts_ ? CheckHiveLayout(guest.file.get()) : CheckHiveContent(guest.file.get());
          status != kErrorSuccess)
        return status;
      if (lastLoadRecovery_.state == HiveRecovery::State::kRefused) return kErrorRegistryCorrupt;
    }
    mount.file = mount.top / mount.hive;
    mount.guest = FileState::Of(guest.info);
    std::error_code error;
    const auto store = std::filesystem::canonical(store_, error);
    const auto real =
        std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(guest.file.get()), error);
    if (!error && IsWithin(real, store)) return kErrorSharingViolation;
    for (const auto& other : mounts)
      if (other.guest.device == mount.guest.device && other.guest.inode == mount.guest.inode)
        return kErrorSharingViolation;

    // Every process works on a copy in the store; the guest is written once, at the unload.
    UniqueFd storeFd(::open(store_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!storeFd.valid()) return StatusFromErrno(errno);
    RemoveStaleTemporaries(storeFd.get());
    RemoveOrphanCopies(storeFd.get(), mounts);
    mount.copy = NewCopyName();
    PendingReplacement copy(storeFd.get(), mount.copy);
    if (const auto status = copy.Create(); status != kErrorSuccess) return status;
    if (const int copyError = recovered.empty()
                                  ? CopyContent(guest.file.get(), copy.fd())
                                  : WriteFully(copy.fd(), recovered.data(), recovered.size());
        copyError != 0)
      return StatusFromErrno(copyError);
    if (!recovered.empty()) {
      if (const auto status = CheckHiveContent(copy.fd()); status != kErrorSuccess) return status;
    }
    struct stat after {};
    if (::fstat(guest.file.get(), &after) != 0) return StatusFromErrno(errno);
    if (!(FileState::Of(after) == mount.guest)) return kErrorSharingViolation;
    if (const auto status = copy.Install(nullptr, &mount.copied, /*durable=*/false);
        status != kErrorSuccess)
      return status;
    std::unique_ptr<HiveFile> held;
    if (holdMounts_) {
      if (const auto status = HiveFile::Open(std::filesystem::weakly_canonical(store_) / mount.copy,
                                             {.durable = false}, held);
          status != kErrorSuccess) {
        ::unlinkat(storeFd.get(), mount.copy.c_str(), 0);
        return status;
      }
    }
    mounts.push_back(mount);
    const auto status = mounts_.Write(mounts);
    if (status != kErrorSuccess) {
      ::unlinkat(storeFd.get(), mount.copy.c_str(), 0);
      return status;
    }
    Hold(mount, std::move(held));
    return status;
  });
}

std::int32_t PosixRegistry::EndMount(RegKey key, const std::string& subKey, bool writeBack) {
  if (!CanMountBelow(key) || subKey.empty() || subKey.find('\\') != std::string::npos)
    return kErrorInvalidParameter;
  if (!privileges_->HiveCallsAllowed()) return kErrorPrivilegeNotHeld;
  return Guarded([&] {
    Locked lock(*this, StoreLock::Mode::kExclusive);
    auto mounts = mounts_.Read();
    const auto mount = MountTable::Find(mounts, RootName(key), subKey);
    if (!mount) return kErrorFileNotFound;
    const auto hiveId = mount->root + "\\" + mount->name;
    for (const auto& [handle, open] : keys_)
      if (open.hiveId == hiveId) return kErrorAccessDenied;
    const auto cached = hives_.find(hiveId);
    LoadedHive* held = cached != hives_.end() && cached->second.held ? &cached->second : nullptr;
    // Changes of a held hive were dropped: what is left is no complete hive to write back.
    if (writeBack && held != nullptr && held->lost) return kErrorRegistryIoFailed;
    if (cached != hives_.end() && held == nullptr) {
      const auto status = writeBack ? Commit(cached->second) : kErrorSuccess;
      hives_.erase(cached);
      if (status != kErrorSuccess) return status;
    }
    UniqueFd storeFd(::open(store_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!storeFd.valid()) return StatusFromErrno(errno);
    const auto status = writeBack ? WriteBack(*mount, storeFd.get(), *privileges_,
                                              held != nullptr ? &held->file : nullptr)
                                  : kErrorSuccess;
    // A copy that can never be written back is kept beside the store's files, and the
    // name is freed; any other failure keeps the mount for another try. Either way a held
    // hive's changes go to the working copy first, so that they are not lost with it.
    const bool kept = status == kErrorFileInvalid || status == kErrorBadDb;
    if (held != nullptr && writeBack && status != kErrorSuccess) {
      if (!held->file) held->lost = true;
      held->held = false;
      if (const auto committed = Commit(*held); committed != kErrorSuccess) return committed;
    }
    if (status != kErrorSuccess && !kept) return status;
    if (held != nullptr) {
      hives_.erase(cached);
      servers_.erase(hiveId);
    }
    std::erase_if(mounts, [&](const Mount& entry) {
      return entry.root == mount->root && entry.name == mount->name;
    });
    if (const auto written = mounts_.Write(mounts); written != kErrorSuccess) return written;
    if (kept)
      ::renameat(storeFd.get(), mount->copy.c_str(), storeFd.get(),
                 (std::string(kKeptPrefix) + mount->copy).c_str());
    else
      ::unlinkat(storeFd.get(), mount->copy.c_str(), 0);
    return status;
  });
}

std::int32_t PosixRegistry::RegUnLoadKeyA(RegKey key, const std::string& subKey) {
  return EndMount(key, subKey, /*writeBack=*/true);
}

std::int32_t PosixRegistry::DiscardLoadedKey(RegKey key, const std::string& subKey) {
  return EndMount(key, subKey, /*writeBack=*/false);
}

}  // namespace ravlin

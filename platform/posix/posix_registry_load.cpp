#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/codepage.hpp"
#include "platform/posix/posix_registry.hpp"
#include "platform/posix/posix_registry_names.hpp"

namespace ravlin {
namespace {

bool IsWithin(const std::filesystem::path& path, const std::filesystem::path& folder) {
  const auto [folderEnd, pathAt] =
      std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  // A trailing separator of `folder` leaves an empty last component.
  return folderEnd == folder.end() || (std::next(folderEnd) == folder.end() && folderEnd->empty());
}

// Follows the folders from the drive's folder down to `folder`: each link met must stay on
// the file system it lives on (an NTFS junction of the guest that ntfs-3g shows as a link to
// the rescue system's /etc does not), and the end must lie inside the drive's folder.
std::int32_t CheckLinksOnTheWay(const std::filesystem::path& driveRoot,
                                const std::filesystem::path& folder,
                                std::filesystem::path& resolved) {
  std::error_code error;
  const auto tree = std::filesystem::canonical(driveRoot, error);
  if (error) return StatusFromErrno(error.value());
  auto current = tree;
  for (const auto& part : folder.lexically_relative(driveRoot)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      current = current.parent_path();
      continue;
    }
    const auto next = current / part;
    struct stat link {};
    if (::lstat(next.c_str(), &link) != 0) return StatusFromErrno(errno);
    if (!S_ISLNK(link.st_mode)) {
      current = next;
      continue;
    }
    const auto target = std::filesystem::canonical(next, error);
    if (error) return StatusFromErrno(error.value());
    struct stat here {
    }, there{};
    if (::stat(current.c_str(), &here) != 0 || ::stat(target.c_str(), &there) != 0)
      return StatusFromErrno(errno);
    if (here.st_dev != there.st_dev) return kErrorCantResolveFilename;
    current = target;
  }
  if (!IsWithin(current, tree) || std::filesystem::canonical(folder, error) != current || error)
    return kErrorCantResolveFilename;
  resolved = current;
  return kErrorSuccess;
}

// The hive file a Windows path text names, as a path without links: 0, 2 when it does not
// exist, 5 when it is no file, 1921 when it is a link itself or a link on its way leads out
// of the guest's tree (a later write would land there).
std::int32_t LocateHiveFile(const DriveTable& drives, const std::string& windowsPath,
                            std::filesystem::path& file) {
  const auto native = drives.ToNative(windowsPath);
  const auto driveRoot = windowsPath.empty() ? std::nullopt : drives.RootOf(windowsPath.front());
  if (!native || !driveRoot) return kErrorFileNotFound;
  struct stat info {};
  if (::lstat(native->c_str(), &info) != 0) return StatusFromErrno(errno);
  if (S_ISLNK(info.st_mode)) return kErrorCantResolveFilename;
  if (!S_ISREG(info.st_mode)) return kErrorAccessDenied;
  std::filesystem::path folder;
  if (const auto status = CheckLinksOnTheWay(*driveRoot, native->parent_path(), folder);
      status != kErrorSuccess)
    return status;
  file = folder / native->filename();
  return kErrorSuccess;
}

// Mounting needs the file readable and writable and its folder writable (every change
// replaces the file): checked now, so that a mount never fails later at its first write.
std::int32_t CheckWritable(const std::filesystem::path& file) {
  UniqueFd fd(::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return StatusFromErrno(errno);
  if (::access(file.parent_path().c_str(), W_OK | X_OK) != 0) return StatusFromErrno(errno);
  return kErrorSuccess;
}

}  // namespace

std::int32_t PosixRegistry::RegLoadKeyA(RegKey key, const std::string& subKey,
                                        const std::string& file) {
  if (!CanMountBelow(key) || subKey.empty() || subKey.find('\\') != std::string::npos ||
      file.empty())
    return kErrorInvalidParameter;
  if (!privileges_->HiveCallsAllowed()) return kErrorPrivilegeNotHeld;
  return Guarded([&] {
    Locked lock(*this, StoreLock::Mode::kExclusive);
    auto mounts = mounts_.Read();
    // A mount whose file is gone (its disk was detached) holds nothing: its name is free.
    std::erase_if(mounts, [](const Mount& mount) {
      struct stat info {};
      return ::lstat(mount.file.c_str(), &info) != 0 && errno == ENOENT;
    });
    if (MountTable::Find(mounts, RootName(key), subKey)) return kErrorAccessDenied;
    RegKey existing = 0;
    if (RegOpenKeyExA(key, subKey, 0, kKeyQueryValue, existing) == kErrorSuccess) {
      RegCloseKey(existing);
      return kErrorAccessDenied;
    }

    std::filesystem::path hiveFile;
    if (const auto status = LocateHiveFile(*drives_, file, hiveFile); status != kErrorSuccess)
      return status;
    if (const auto status = CheckWritable(hiveFile); status != kErrorSuccess) return status;
    if (const auto status = CheckHiveFile(hiveFile); status != kErrorSuccess) return status;
    std::error_code error;
    const auto store = std::filesystem::canonical(store_, error);
    if (!error && IsWithin(hiveFile, store)) return kErrorSharingViolation;
    for (const auto& mount : mounts)
      if (mount.file == hiveFile) return kErrorSharingViolation;

    mounts.push_back(Mount{RootName(key), subKey, hiveFile});
    return mounts_.Write(mounts);
  });
}

std::int32_t PosixRegistry::RegUnLoadKeyA(RegKey key, const std::string& subKey) {
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
    std::erase_if(mounts, [&](const Mount& entry) {
      return entry.root == mount->root && entry.name == mount->name;
    });
    return mounts_.Write(mounts);
  });
}

}  // namespace ravlin

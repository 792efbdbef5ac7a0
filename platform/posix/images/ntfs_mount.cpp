#include "platform/posix/images/ntfs_mount.hpp"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <thread>

#include "platform/posix/images/mount_table.hpp"

namespace ravlin {
namespace {

constexpr auto kMountLimit = std::chrono::seconds(30);
constexpr auto kFlushLimit = std::chrono::seconds(120);
// ntfs-3g's exit statuses for volumes it will not mount writable.
constexpr int kHibernated = 14;
constexpr int kUnclean = 15;

std::filesystem::path PidFile(const std::filesystem::path& mountPoint) {
  return mountPoint.string() + ".pid";
}

bool IsMountPoint(const std::filesystem::path& folder) {
  struct stat self {
  }, parent{};
  return ::stat(folder.c_str(), &self) == 0 && ::stat(folder.parent_path().c_str(), &parent) == 0 &&
         self.st_dev != parent.st_dev;
}

std::vector<std::string> Arguments(const std::filesystem::path& device,
                                   const std::filesystem::path& mountPoint, bool writable) {
  // norecover: a volume Windows did not shut down cleanly is refused, not reset.
  std::string options = "no_detach,norecover";
  if (!writable) options += ",ro";
  std::filesystem::create_directories(mountPoint);
  return {"ntfs-3g", "-o", options, device.string(), mountPoint.string()};
}

}  // namespace

NtfsMount::NtfsMount(const std::filesystem::path& device, const std::filesystem::path& mountPoint,
                     bool writable)
    : mountPoint_(mountPoint), process_(Arguments(device, mountPoint, writable)) {
  std::ofstream(PidFile(mountPoint_)) << process_.Id() << "\n";
  const auto deadline = std::chrono::steady_clock::now() + kMountLimit;
  while (!IsMountPoint(mountPoint_)) {
    if (const auto exitCode = process_.Wait(std::chrono::milliseconds(10))) {
      std::filesystem::remove(PidFile(mountPoint_));
      if (*exitCode == kHibernated || *exitCode == kUnclean) throw UnsafeVolume();
      throw DiskImageError("ntfs-3g cannot mount the partition: " + process_.Errors());
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      std::filesystem::remove(PidFile(mountPoint_));
      throw DiskImageError("ntfs-3g did not mount the partition in time");
    }
  }
  mounted_ = true;
  // ntfs-3g falls back to a read-only mount for a volume it must not write to.
  struct statvfs volume {};
  if (writable && ::statvfs(mountPoint_.c_str(), &volume) == 0 &&
      (volume.f_flag & ST_RDONLY) != 0) {
    Unmount();
    throw UnsafeVolume();
  }
}

DiskImageError NtfsMount::UnsafeVolume() const {
  const std::string reason = process_.Errors();
  if (reason.find("hibernated") != std::string::npos)
    return DiskImageError(
        "Windows is hibernated on this NTFS volume; start it and shut it down "
        "fully first (ntfs-3g: " +
        reason + ")");
  return DiskImageError(
      "Windows did not shut this NTFS volume down cleanly; let it check the "
      "disk (chkdsk) first (ntfs-3g: " +
      reason + ")");
}

NtfsMount::~NtfsMount() {
  try {
    Unmount();
  } catch (const DiskImageError&) {
    // The pid file stays, so that a later run finishes the unmount.
  }
}

void NtfsMount::Unmount() {
  if (!mounted_) return;
  if (!UnmountFolder(mountPoint_, false))
    throw DiskImageError("cannot unmount " + mountPoint_.string() + ": " +
                         std::generic_category().message(errno));
  mounted_ = false;
  // ntfs-3g writes what it still holds and closes the device after the unmount.
  const auto exitCode = process_.Wait(kFlushLimit);
  if (!exitCode) throw DiskImageError("ntfs-3g did not end after the unmount");
  std::filesystem::remove(PidFile(mountPoint_));
  if (*exitCode != 0)
    throw DiskImageError("ntfs-3g ended with status " + std::to_string(*exitCode) + ": " +
                         process_.Errors());
}

void NtfsMount::UnmountLeftOver(const std::filesystem::path& mountPoint) {
  pid_t pid = 0;
  std::ifstream(PidFile(mountPoint)) >> pid;
  if (IsMountPoint(mountPoint) && !UnmountFolder(mountPoint, false))
    throw DiskImageError("cannot unmount the left-over " + mountPoint.string());
  const auto deadline = std::chrono::steady_clock::now() + kFlushLimit;
  // That ntfs-3g is not Ravlin's child any more: wait for its process to go.
  while (pid > 0 && ProcessRunning(pid, "ntfs-3g")) {
    if (std::chrono::steady_clock::now() >= deadline)
      throw DiskImageError("the left-over ntfs-3g of " + mountPoint.string() + " does not end");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::filesystem::remove(PidFile(mountPoint));
}

}  // namespace ravlin

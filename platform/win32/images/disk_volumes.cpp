#include "platform/win32/images/disk_volumes.hpp"

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "platform/win32/images/kernel32_calls.hpp"
#include "platform/win32/images/virtual_disk.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"
// The device control codes build on windows.h.
#include <winioctl.h>

namespace ravlin {
namespace {

// The GPT type of a basic data partition, the one that holds NTFS or FAT.
constexpr GUID kBasicDataPartition = {
    0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
// The system mounts an attached disk's volumes within a second or two.
constexpr auto kVolumeWait = std::chrono::seconds(15);
constexpr DWORD kVolumePoll = 250;  // milliseconds
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr std::wstring_view kMountFolderPrefix = L"volume-";

using VolumeSearch = ScopedHandle<FindVolumeClose>;

UniqueHandle OpenDevice(const std::wstring& path, DWORD access) {
  return UniqueHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
}

// "\\?\Volume{...}" without the backslash that names its root: the volume's device.
std::wstring VolumeDevice(const std::wstring& volumeName) {
  return volumeName.substr(0, volumeName.find_last_not_of(L'\\') + 1);
}

bool DeviceNumber(const std::wstring& device, STORAGE_DEVICE_NUMBER& number) {
  const auto handle = OpenDevice(device, 0);
  DWORD returned = 0;
  return handle.Valid() &&
         Kernel32().deviceIoControl(handle.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                    &number, sizeof number, &returned, nullptr) != FALSE;
}

// Whether the system makes a volume of the partition: the NTFS and FAT types of an MBR, a
// GPT's basic data partitions.
bool HoldsFileSystem(const PARTITION_INFORMATION_EX& entry) {
  if (entry.PartitionStyle == PARTITION_STYLE_GPT)
    return IsEqualGUID(entry.Gpt.PartitionType, kBasicDataPartition) != FALSE;
  switch (entry.Mbr.PartitionType) {
    case 0x01:  // FAT12
    case 0x04:  // FAT16 below 32 MB
    case 0x06:  // FAT16
    case 0x07:  // NTFS
    case 0x0B:  // FAT32
    case 0x0C:  // FAT32, LBA
    case 0x0E:  // FAT16, LBA
      return true;
    default:
      return false;
  }
}

struct TableEntry {
  ImagePartition partition;
  bool holdsFileSystem = false;
};

std::vector<TableEntry> ReadPartitionTable(const std::wstring& physicalPath) {
  const auto disk = OpenDevice(physicalPath, GENERIC_READ);
  if (!disk.Valid())
    throw SystemImageError("Windows cannot read the attached disk", ::GetLastError());
  // Whole entries keep the layout aligned; it grows until every partition fits.
  std::vector<PARTITION_INFORMATION_EX> buffer(16);
  DWORD returned = 0;
  while (!Kernel32().deviceIoControl(
      disk.Get(), IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, buffer.data(),
      static_cast<DWORD>(buffer.size() * sizeof(PARTITION_INFORMATION_EX)), &returned, nullptr)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || buffer.size() > 1024)
      throw SystemImageError("Windows cannot read the attached disk's partition table", error);
    buffer.resize(buffer.size() * 2);
  }
  const auto* layout = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(buffer.data());
  const PARTITION_INFORMATION_EX* entries = layout->PartitionEntry;
  std::vector<TableEntry> table;
  for (DWORD i = 0; i < layout->PartitionCount; ++i) {
    const auto& entry = entries[i];
    if (entry.PartitionNumber == 0 || entry.PartitionLength.QuadPart == 0) continue;
    if (entry.PartitionStyle == PARTITION_STYLE_MBR &&
        (entry.Mbr.PartitionType == PARTITION_ENTRY_UNUSED ||
         IsContainerPartition(entry.Mbr.PartitionType)))
      continue;
    TableEntry row;
    row.partition.number = static_cast<int>(entry.PartitionNumber);
    row.partition.offset = static_cast<std::uint64_t>(entry.StartingOffset.QuadPart);
    row.partition.size = static_cast<std::uint64_t>(entry.PartitionLength.QuadPart);
    row.holdsFileSystem = HoldsFileSystem(entry);
    table.push_back(row);
  }
  return table;
}

std::wstring FindVolume(DWORD disk, DWORD partition) {
  std::vector<wchar_t> name(MAX_PATH + 1);
  VolumeSearch search(::FindFirstVolumeW(name.data(), static_cast<DWORD>(name.size())));
  if (!search.Valid()) return {};
  do {
    const std::wstring volume(name.data());
    STORAGE_DEVICE_NUMBER number{};
    if (DeviceNumber(VolumeDevice(volume), number) && number.DeviceType == FILE_DEVICE_DISK &&
        number.DeviceNumber == disk && number.PartitionNumber == partition)
      return volume;
  } while (::FindNextVolumeW(search.Get(), name.data(), static_cast<DWORD>(name.size())));
  return {};
}

// "ntfs", "vfat" for every FAT, else the system's name in lower case; empty while the
// system has not recognised the file system yet.
std::string FileSystemOf(const std::wstring& volumeName) {
  std::vector<wchar_t> name(MAX_PATH + 1);
  if (!::GetVolumeInformationW(volumeName.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                               name.data(), static_cast<DWORD>(name.size())))
    return {};
  std::string fileSystem = Narrow(name.data());
  for (char& c : fileSystem)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (fileSystem.starts_with("fat")) return "vfat";
  return fileSystem;
}

// Removes the mount point and its folder: ERROR_SUCCESS, or why the mount point stays.
DWORD DeleteMountPoint(const std::filesystem::path& folder) {
  const std::wstring mountPoint = folder.wstring() + L"\\";
  const auto deleteMountPoint = Kernel32().deleteVolumeMountPoint;
  const DWORD result = deleteMountPoint == nullptr            ? ERROR_CALL_NOT_IMPLEMENTED
                       : deleteMountPoint(mountPoint.c_str()) ? ERROR_SUCCESS
                                                              : ::GetLastError();
  ::RemoveDirectoryW(folder.c_str());
  return result;
}

bool ProcessRunning(DWORD id) {
  UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
  if (!process.Valid()) return ::GetLastError() != ERROR_INVALID_PARAMETER;
  return ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

std::vector<DiskVolume> ListDiskVolumes(const std::wstring& physicalPath) {
  STORAGE_DEVICE_NUMBER disk{};
  if (!DeviceNumber(physicalPath, disk))
    throw SystemImageError("Windows does not number the attached disk", ::GetLastError());
  const auto table = ReadPartitionTable(physicalPath);
  std::vector<DiskVolume> volumes;
  for (const auto& row : table) volumes.push_back({row.partition, {}});
  const auto deadline = std::chrono::steady_clock::now() + kVolumeWait;
  for (;;) {
    bool waiting = false;
    for (std::size_t i = 0; i < table.size(); ++i) {
      auto& volume = volumes[i];
      if (!table[i].holdsFileSystem || !volume.volumeName.empty()) continue;
      const std::wstring found =
          FindVolume(disk.DeviceNumber, static_cast<DWORD>(volume.partition.number));
      const std::string fileSystem = found.empty() ? std::string() : FileSystemOf(found);
      if (fileSystem.empty()) {
        waiting = true;
        continue;
      }
      volume.volumeName = found;
      volume.partition.fileSystem = fileSystem;
    }
    if (!waiting || std::chrono::steady_clock::now() >= deadline) return volumes;
    ::Sleep(kVolumePoll);
  }
}

FolderMountedVolume::FolderMountedVolume(const std::wstring& volumeName,
                                         const std::filesystem::path& folder, int partitionNumber)
    : volumeName_(volumeName), folder_(folder) {
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error)
    throw DiskImageError("cannot make the mount point " + folder_.string() + ": " +
                         error.message());
  const std::wstring mountPoint = folder_.wstring() + L"\\";
  if (!Kernel32().setVolumeMountPoint(mountPoint.c_str(), volumeName_.c_str())) {
    const DWORD code = ::GetLastError();
    ::RemoveDirectoryW(folder_.c_str());
    throw SystemImageError("Windows cannot mount partition " + std::to_string(partitionNumber) +
                               " on " + folder_.string(),
                           code);
  }
  mounted_ = true;
  try {
    RefuseUnsafe(partitionNumber);
  } catch (...) {
    DeleteMountPoint(folder_);
    mounted_ = false;
    throw;
  }
}

FolderMountedVolume::~FolderMountedVolume() {
  if (mounted_) DeleteMountPoint(folder_);
}

void FolderMountedVolume::RefuseUnsafe(int partitionNumber) {
  const std::string partition = "partition " + std::to_string(partitionNumber);
  const auto volume = OpenDevice(VolumeDevice(volumeName_), GENERIC_READ);
  ULONG state = 0;
  DWORD returned = 0;
  if (volume.Valid() &&
      Kernel32().deviceIoControl(volume.Get(), FSCTL_IS_VOLUME_DIRTY, nullptr, 0, &state,
                                 sizeof state, &returned, nullptr) &&
      (state & VOLUME_IS_DIRTY) != 0)
    throw DiskImageError("the NTFS volume on " + partition +
                         " was not shut down cleanly; start its Windows and shut it down, or "
                         "run chkdsk on it, first");
  // A hibernated Windows keeps its state in hiberfil.sys, which begins "hibr" (or "wake"
  // while it resumes); a file written to the volume now would be lost or corrupt it.
  std::ifstream hibernation(folder_ / "hiberfil.sys", std::ios::binary);
  std::string signature(4, '\0');
  if (hibernation.read(signature.data(), 4)) {
    for (char& c : signature)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (signature == "hibr" || signature == "wake")
      throw DiskImageError("the Windows on " + partition +
                           " is hibernated; start it and shut it down fully first");
  }
}

void FolderMountedVolume::Unmount() {
  if (!mounted_) return;
  {
    // Locked and dismounted, the volume has written everything to the disk; the lock holds
    // until the mount point is gone.
    auto volume = OpenDevice(VolumeDevice(volumeName_), GENERIC_READ | GENERIC_WRITE);
    if (!volume.Valid()) volume = OpenDevice(VolumeDevice(volumeName_), GENERIC_READ);
    if (!volume.Valid())
      throw SystemImageError("Windows cannot reach the volume on " + folder_.string(),
                             ::GetLastError());
    ::FlushFileBuffers(volume.Get());
    DWORD returned = 0;
    // A virus scanner or the search indexer may still be reading a file it saw change.
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (!Kernel32().deviceIoControl(volume.Get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0,
                                       &returned, nullptr)) {
      const DWORD error = ::GetLastError();
      if (std::chrono::steady_clock::now() >= deadline)
        throw SystemImageError("a program still has files open on " + folder_.string(), error);
      ::Sleep(kVolumePoll);
    }
    if (!Kernel32().deviceIoControl(volume.Get(), FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0,
                                    &returned, nullptr))
      throw SystemImageError("Windows cannot dismount the volume on " + folder_.string(),
                             ::GetLastError());
    if (const DWORD result = DeleteMountPoint(folder_); result != ERROR_SUCCESS)
      throw SystemImageError("Windows cannot remove the mount point " + folder_.string(), result);
  }
  mounted_ = false;
}

std::filesystem::path NewMountFolder(const std::filesystem::path& workFolder) {
  const std::wstring prefix =
      std::wstring(kMountFolderPrefix) + std::to_wstring(::GetCurrentProcessId()) + L"-";
  for (unsigned n = 1;; ++n) {
    auto folder = workFolder / (prefix + std::to_wstring(n));
    std::error_code error;
    if (!std::filesystem::exists(folder, error) && !error) return folder;
  }
}

void RemoveStaleMountPoints(const std::filesystem::path& workFolder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(workFolder, error)) {
    const std::wstring name = entry.path().filename().wstring();
    if (!name.starts_with(kMountFolderPrefix)) continue;
    const DWORD id = static_cast<DWORD>(
        std::strtoul(Narrow(name.substr(kMountFolderPrefix.size())).c_str(), nullptr, 10));
    if (id == 0 || id == ::GetCurrentProcessId() || ProcessRunning(id)) continue;
    DeleteMountPoint(entry.path());
  }
}

}  // namespace ravlin

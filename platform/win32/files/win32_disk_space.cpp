#include "platform/win32/files/win32_disk_space.hpp"

#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {

Win32DiskSpace::Win32DiskSpace() {
  if (const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll"))
    extended_ = reinterpret_cast<ExtendedQuery>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "GetDiskFreeSpaceExW")));
}

bool Win32DiskSpace::HasGetDiskFreeSpaceEx() {
  return extended_ != nullptr;
}

bool Win32DiskSpace::GetDiskFreeSpaceExA(const std::string& directory,
                                         std::uint64_t& availableToCaller,
                                         std::uint64_t& totalBytes, std::uint64_t& totalFreeBytes) {
  if (extended_ == nullptr) return false;
  ULARGE_INTEGER available{};
  ULARGE_INTEGER total{};
  ULARGE_INTEGER free{};
  const QuietDriveErrors quiet;
  if (!extended_(Wide(directory).c_str(), &available, &total, &free)) return false;
  availableToCaller = available.QuadPart;
  totalBytes = total.QuadPart;
  totalFreeBytes = free.QuadPart;
  return true;
}

bool Win32DiskSpace::GetDiskFreeSpaceA(const std::string& rootPath,
                                       std::uint32_t& sectorsPerCluster,
                                       std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                                       std::uint32_t& totalClusters) {
  DWORD sectors = 0;
  DWORD bytes = 0;
  DWORD free = 0;
  DWORD total = 0;
  const QuietDriveErrors quiet;
  if (!::GetDiskFreeSpaceW(Wide(rootPath).c_str(), &sectors, &bytes, &free, &total)) return false;
  sectorsPerCluster = sectors;
  bytesPerSector = bytes;
  freeClusters = free;
  totalClusters = total;
  return true;
}

}  // namespace ravlin

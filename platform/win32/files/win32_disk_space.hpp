#pragma once

#include "platform/drives.hpp"
#include "platform/win32/runtime/windows_api.hpp"

namespace ravlin {

// Free space by GetDiskFreeSpaceExW, looked up in kernel32 when constructed (the first
// releases of Windows 95 lack it), and by GetDiskFreeSpaceW, which every version has.
class Win32DiskSpace : public DiskSpace {
 public:
  Win32DiskSpace();

  bool HasGetDiskFreeSpaceEx() override;
  bool GetDiskFreeSpaceExA(const std::string& directory, std::uint64_t& availableToCaller,
                           std::uint64_t& totalBytes, std::uint64_t& totalFreeBytes) override;
  bool GetDiskFreeSpaceA(const std::string& rootPath, std::uint32_t& sectorsPerCluster,
                         std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                         std::uint32_t& totalClusters) override;

 private:
  using ExtendedQuery = BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  ExtendedQuery extended_ = nullptr;
};

}  // namespace ravlin

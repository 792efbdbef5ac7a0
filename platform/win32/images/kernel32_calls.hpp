#pragma once

#include "platform/win32/runtime/windows_api.hpp"

namespace ravlin {

// The kernel32 calls that only the disk images need, looked up at run time so that the
// program's load-time imports stay the ones every supported Windows is known to offer. Null
// where this Windows lacks one.
struct Kernel32Calls {
  decltype(&::DeviceIoControl) deviceIoControl;
  decltype(&::SetVolumeMountPointW) setVolumeMountPoint;
  decltype(&::DeleteVolumeMountPointW) deleteVolumeMountPoint;
  decltype(&::GetVolumePathNameW) getVolumePathName;
  decltype(&::FormatMessageW) formatMessage;

  bool Complete() const {
    return deviceIoControl != nullptr && setVolumeMountPoint != nullptr &&
           deleteVolumeMountPoint != nullptr && getVolumePathName != nullptr &&
           formatMessage != nullptr;
  }
};

// Looked up once; kernel32.dll stays loaded for the life of the process.
const Kernel32Calls& Kernel32();

}  // namespace ravlin

#include "platform/win32/images/kernel32_calls.hpp"

namespace ravlin {
namespace {

template <typename Pointer>
Pointer Find(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Pointer>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

Kernel32Calls LookUp() {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  Kernel32Calls calls{};
  calls.deviceIoControl = Find<decltype(calls.deviceIoControl)>(kernel32, "DeviceIoControl");
  calls.setVolumeMountPoint =
      Find<decltype(calls.setVolumeMountPoint)>(kernel32, "SetVolumeMountPointW");
  calls.deleteVolumeMountPoint =
      Find<decltype(calls.deleteVolumeMountPoint)>(kernel32, "DeleteVolumeMountPointW");
  calls.getVolumePathName = Find<decltype(calls.getVolumePathName)>(kernel32, "GetVolumePathNameW");
  calls.formatMessage = Find<decltype(calls.formatMessage)>(kernel32, "FormatMessageW");
  return calls;
}

}  // namespace

const Kernel32Calls& Kernel32() {
  static const Kernel32Calls calls = LookUp();
  return calls;
}

}  // namespace ravlin

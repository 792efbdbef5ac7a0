#include "platform/win32/runtime/win32_clock.hpp"

#include "platform/win32/runtime/windows_api.hpp"
// The multimedia timer builds on windows.h.
#include <mmsystem.h>

namespace ravlin {

std::uint32_t Win32Clock::timeGetTime() {
  return ::timeGetTime();
}

void Win32Clock::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace ravlin

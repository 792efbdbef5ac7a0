#include "platform/win32/runtime/win32_clock.hpp"

namespace ravlin {

Win32Clock::Win32Clock()
    : winmm_(L"winmm.dll"), timeGetTime_(winmm_.Find<TimeGetTimeCall>("timeGetTime")) {}

std::uint32_t Win32Clock::timeGetTime() {
  return timeGetTime_ != nullptr ? timeGetTime_() : ::GetTickCount();
}

void Win32Clock::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace ravlin

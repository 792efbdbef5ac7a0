#pragma once

#include "platform/clock.hpp"
#include "platform/win32/runtime/system_library.hpp"

namespace ravlin {

// The multimedia timer's millisecond counter (timeGetTime, from the system's winmm.dll) and
// the system's Sleep. Without winmm.dll the tick count counts the same milliseconds, only
// more coarsely.
class Win32Clock : public Clock {
 public:
  Win32Clock();

  std::uint32_t timeGetTime() override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  using TimeGetTimeCall = DWORD(WINAPI*)();
  SystemLibrary winmm_;
  TimeGetTimeCall timeGetTime_;
};

}  // namespace ravlin

#pragma once

#include "platform/clock.hpp"

namespace ravlin {

// The multimedia timer's millisecond counter (timeGetTime) and the system's Sleep.
class Win32Clock : public Clock {
 public:
  std::uint32_t timeGetTime() override;
  void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace ravlin

#pragma once

#include <cstdint>

namespace ravlin {

// The 32-bit millisecond counter and a sleep.
class Clock {
 public:
  virtual ~Clock() = default;

  virtual std::uint32_t timeGetTime() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace ravlin

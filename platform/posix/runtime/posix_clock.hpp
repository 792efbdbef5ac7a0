#pragma once

#include "platform/clock.hpp"

namespace ravlin {

// The millisecond counter from the monotonic clock, wrapping at 2^32 like timeGetTime.
class PosixClock : public Clock {
 public:
  std::uint32_t timeGetTime() override;
  void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace ravlin

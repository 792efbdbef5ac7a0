#include "platform/posix/runtime/posix_clock.hpp"

#include <chrono>
#include <thread>

namespace ravlin {

std::uint32_t PosixClock::timeGetTime() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void PosixClock::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace ravlin

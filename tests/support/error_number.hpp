#pragma once

#include <cstdint>
#include <functional>

#include "platform/runtime_error.hpp"

namespace ravlin::testing {

// The number of the RuntimeError that `call` throws, 0 when it throws none.
inline std::int32_t ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RuntimeError& error) {
    return error.Number();
  }
  return 0;
}

}  // namespace ravlin::testing

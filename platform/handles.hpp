#pragma once

#include <cstdint>

namespace ravlin {

// An opaque handle of the platform (process, token, window); 0 is no handle.
using Handle = std::uintptr_t;

}  // namespace ravlin

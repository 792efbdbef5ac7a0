#pragma once

#include <cstdint>

#include "platform/runtime_error.hpp"

namespace ravlin {

// The classic run-time error number for a Windows error code (GetLastError); a missing file
// gives `notFoundNumber` (53 File not found for a file, 76 Path not found for a folder).
std::int32_t ClassicErrorNumber(std::uint32_t windowsError,
                                std::int32_t notFoundNumber = vb_error::kFileNotFound);
// The error for the calling thread's last Windows error.
RuntimeError ErrorFromLastError(std::int32_t notFoundNumber = vb_error::kFileNotFound);

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.hpp"

namespace ravlin {

// Starts a command line and waits until its process ends (waking as it ends) or the
// time-out (ms) passes, letting window messages run at least every 100 ms. True when the
// process was watched to its end; otherwise false with the reason in `message`. Once the
// process was watched to its end, `exitCode` (when given) receives its exit code, and
// `errorLine` (when given) the last non-empty line it wrote to its standard error, without
// the line break, or an empty text when it wrote none (a one-line reason for a failure, such
// as the registry editor's); otherwise both are left as they were.
bool ShellAndWait(const Platform& platform, const std::string& commandLine, int windowStyle,
                  std::string& message, std::int32_t timeoutMs, std::uint32_t* exitCode = nullptr,
                  std::string* errorLine = nullptr);

}  // namespace ravlin

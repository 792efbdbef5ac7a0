#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.hpp"

namespace ravlin {

// Starts a command line and waits until its process ends or the time-out (ms) passes,
// letting window messages run every 100 ms. True when the process was watched to its end;
// otherwise false with the reason in `message`. `exitCode`, when given, receives the
// process's exit code once it was watched to its end.
bool ShellAndWait(const Platform& platform, const std::string& commandLine, int windowStyle,
                  std::string& message, std::int32_t timeoutMs, std::uint32_t* exitCode = nullptr);

}  // namespace ravlin

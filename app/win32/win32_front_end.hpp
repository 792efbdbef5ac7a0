#pragma once

#include "app/repair_options.hpp"
#include "platform/backend.hpp"

namespace ravlin {

// Runs the program in its native window until the window unloads: 0 after a completed repair,
// 1 when the user closed the window without one, 2 when the program refused to start.
int RunWin32Window(const PlatformOptions& options, const RepairOptions& repair);

}  // namespace ravlin

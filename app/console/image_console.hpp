#pragma once

#include "app/console/console_front_end.hpp"
#include "app/repair_options.hpp"
#include "platform/backend.hpp"

namespace ravlin {

// `--image FILE` in the console: the image workflow, asking at the terminal which of several
// Windows installations to repair, and running the console's one attempt on the mounted
// Windows folder as `--guest` would.
int RunImageRepairInConsole(const ConsoleOptions& console, const RepairOptions& repair,
                            const PlatformOptions& options);

}  // namespace ravlin

#pragma once

#include <filesystem>

#include "app/repair_options.hpp"
#include "platform/backend.hpp"

namespace ravlin {

// Runs the program in its window, its attempts shaped by `repair`, until the window unloads:
// 0 after a completed repair, 1 when the user closed the window without one.
int RunQtWindow(int argc, char** argv, const PlatformOptions& options, const RepairOptions& repair);

// Starts the program, renders its idle window to a PNG file and ends without showing
// anything on screen (the offscreen platform is used unless QT_QPA_PLATFORM names another).
// 0 when the picture was written, 1 otherwise.
int WriteQtScreenshot(int argc, char** argv, const std::filesystem::path& png,
                      const PlatformOptions& options);

// Whether a display server is reachable for a window (DISPLAY or WAYLAND_DISPLAY set).
bool QtDisplayAvailable();

}  // namespace ravlin

#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ravlin {

// Runs `program` with `arguments` (the first is the name it is given) and this process's
// environment, and waits for its end, as a launcher that stands in front of it. The terminal
// sends Ctrl-C to both processes, so the launcher leaves SIGINT and SIGQUIT to the child;
// SIGTERM and SIGHUP sent to the launcher alone are passed on, so that it still gets to clean
// up after the child. Returns the child's exit code, or 128 + the signal that ended it;
// throws std::system_error with the reason when the program cannot be started.
int RunInFront(const std::filesystem::path& program, const std::vector<std::string>& arguments);

}  // namespace ravlin

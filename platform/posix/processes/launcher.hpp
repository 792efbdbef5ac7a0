#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ravlin {

// A new folder below the temporary folder ($TMPDIR, else /tmp) that only its owner may enter,
// named `prefix` and six random characters; its path has no links. Throws std::system_error
// when it cannot be made.
std::filesystem::path MakePrivateFolder(const std::string& prefix);

// Runs `program` with `arguments` (the first is the name it is given) and this process's
// environment with `variables` set on top, and waits for its end, as a launcher that stands in
// front of it. The terminal sends Ctrl-C to both processes, so the launcher leaves SIGINT and
// SIGQUIT to the child; SIGTERM and SIGHUP sent to the launcher alone are passed on, so that it
// still gets to clean up after the child. Returns the child's exit code, or 128 + the signal that
// ended it; throws std::system_error with the reason when the program cannot be started.
int RunInFront(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::vector<std::pair<std::string, std::string>>& variables);

}  // namespace ravlin

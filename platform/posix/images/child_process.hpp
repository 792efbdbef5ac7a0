#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {

// A program the image engine runs (qemu-img, qemu-storage-daemon, ntfs-3g), started from the
// search path in a process group of its own, so that Ctrl-C at the terminal reaches Ravlin
// alone and Ravlin gets to shut the program down in order. Its standard output and error are
// kept in memory files; its standard input reads as empty. A program still running when the
// object goes is asked to end (SIGTERM), then killed after a grace period, and reaped.
class ChildProcess {
 public:
  // Starts in `workingFolder` when one is given. Throws DiskImageError naming the program
  // when it cannot be started.
  explicit ChildProcess(const std::vector<std::string>& arguments,
                        const std::filesystem::path& workingFolder = {});
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Its exit code (128 + the signal that ended it) once it ended within `limit`.
  std::optional<int> Wait(std::chrono::milliseconds limit);
  bool Running() { return !Wait(std::chrono::milliseconds(0)); }
  pid_t Id() const { return pid_; }
  std::string Output() const;
  // Its error output on one line, for a message.
  std::string Errors() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
  UniqueFd output_;
  UniqueFd errors_;
};

// Whether process `pid` runs (a zombie has ended), and, when `name` is given, under that
// name; for the programs of a killed run, which are no children of this one.
bool ProcessRunning(pid_t pid, const std::string& name = "");

struct FinishedProgram {
  int exitCode = -1;
  std::string output;
  std::string errors;
};

// Runs a program to its end; one that is still running after `limit` is killed and
// reported as a DiskImageError.
FinishedProgram RunToEnd(const std::vector<std::string>& arguments, std::chrono::seconds limit);

}  // namespace ravlin

#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

#include "tests/support/run_program.hpp"

namespace ravlin::testing {

// A program started in a process group of its own, its output (standard output and error
// together) going to a file, so that it and every program it starts can be killed at once,
// as a power cut or a crash would end them.
class ProgramGroup {
 public:
  // Starts `run` (its input and time-out are not used); standard input reads as empty.
  ProgramGroup(const ProgramRun& run, const std::filesystem::path& outputFile);
  ProgramGroup(const ProgramGroup&) = delete;
  ProgramGroup& operator=(const ProgramGroup&) = delete;
  // Kills the group and reaps the program when it is still running.
  ~ProgramGroup();

  // SIGKILL to every process of the group.
  void KillGroup();
  // Waits up to `limit` for the program to end: its exit code, -1 when a signal ended it,
  // nothing when it still runs.
  std::optional<int> Wait(std::chrono::milliseconds limit);
  // The program's process id, which is also the group's.
  int id() const { return pid_; }

 private:
  int pid_ = -1;
  std::optional<int> exitCode_;
};

}  // namespace ravlin::testing

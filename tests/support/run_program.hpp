#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ravlin::testing {

struct ProgramResult {
  int exitCode = -1;  // -1 when it was killed or timed out
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Environment variables by name; a variable with nothing is removed.
using Variables = std::map<std::string, std::optional<std::string>>;

struct ProgramRun {
  std::vector<std::string> arguments;  // arguments[0] is the program's path
  // Variables set (or, with nothing, removed) on top of this process's environment, or, when
  // it is not inherited, the whole environment.
  Variables environment;
  std::string input;  // fed to standard input, which is then closed
  std::optional<std::filesystem::path> workingDirectory;
  std::chrono::seconds timeout{120};
  bool inheritEnvironment = true;
};

// Runs a real program to its end (killing it after the time-out) and collects its output.
ProgramResult RunProgram(const ProgramRun& run);

// A program of the build, e.g. BinPath("ravlin").
std::filesystem::path BinPath(const std::string& name);

}  // namespace ravlin::testing

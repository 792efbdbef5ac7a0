#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "bench/support/bench_support.hpp"
#include "platform/posix/processes/spawn_actions.hpp"

extern char** environ;

namespace ravlin::bench {

Timing Run(const std::vector<std::string>& arguments, const RunOptions& options) {
  std::vector<std::string> storage(arguments);
  std::vector<char*> argv;
  for (auto& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);
  SpawnActions actions;
  const std::string output = options.output.empty() ? "/dev/null" : options.output.string();
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (options.quiet)
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + arguments[0]);
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (exitCode != 0 && !options.mayFail)
    throw std::runtime_error(arguments[0] + " failed (status " + std::to_string(status) + ")");
  return {elapsed.count(), usage.ru_maxrss, exitCode};
}

Timing RunInChildProcess(const std::function<int()>& work) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) std::_Exit(work());
  int status = 0;
  rusage usage{};
  Timing timing;
  timing.exitCode = child >= 0 && ::wait4(child, &status, 0, &usage) == child && WIFEXITED(status)
                        ? WEXITSTATUS(status)
                        : -1;
  timing.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timing.peakKilobytes = usage.ru_maxrss;
  return timing;
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}

long PeakKilobytesOfThisProcess() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "ravlin-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

}  // namespace ravlin::bench

#include "tests/support/process_group.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin::testing {

ProgramGroup::ProgramGroup(const ProgramRun& run, const std::filesystem::path& outputFile) {
  std::vector<char*> argv;
  for (const auto& argument : run.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const UniqueFd output(::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  const UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!output.valid() || !input.valid())
    throw std::runtime_error("cannot open " + outputFile.string());

  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);
    ::dup2(input.get(), 0);
    ::dup2(output.get(), 1);
    ::dup2(output.get(), 2);
    // The callers start programs from one thread, so the child may change its environment.
    if (!run.inheritEnvironment) ::clearenv();
    for (const auto& [name, value] : run.environment) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    if (run.workingDirectory && ::chdir(run.workingDirectory->c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("fork failed");
  // Also set here, so that a kill right after the start already reaches the group.
  ::setpgid(pid_, pid_);
}

ProgramGroup::~ProgramGroup() {
  if (!exitCode_) {
    KillGroup();
    Wait(std::chrono::milliseconds(-1));
  }
}

void ProgramGroup::KillGroup() {
  if (exitCode_) return;
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
}

std::optional<int> ProgramGroup::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!exitCode_) {
    int status = 0;
    const auto done = ::waitpid(pid_, &status, limit.count() < 0 ? 0 : WNOHANG);
    if (done == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else if (done < 0 && errno != EINTR) {
      throw std::runtime_error("waitpid failed");
    } else if (limit.count() >= 0) {
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return exitCode_;
}

}  // namespace ravlin::testing

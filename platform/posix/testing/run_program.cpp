#include "tests/support/run_program.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace ravlin::testing {
namespace {

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    read = fds[0];
    write = fds[1];
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (read >= 0) ::close(read);
    read = -1;
  }
  void CloseWrite() {
    if (write >= 0) ::close(write);
    write = -1;
  }
};

std::vector<std::string> ChildEnvironment(const ProgramRun& run) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; run.inheritEnvironment && *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : run.environment) {
    if (value)
      variables[name] = *value;
    else
      variables.erase(name);
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : variables) result.push_back(name + "=" + value);
  return result;
}

}  // namespace

ProgramResult RunProgram(const ProgramRun& run) {
  // A child that stops reading its input must not end the test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  Pipe input, output, error;
  const auto environment = ChildEnvironment(run);
  std::vector<char*> argv, envp;
  for (const auto& argument : run.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(input.read, 0);
    ::dup2(output.write, 1);
    ::dup2(error.write, 2);
    ::setsid();
    if (run.workingDirectory && ::chdir(run.workingDirectory->c_str()) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  input.CloseRead();
  output.CloseWrite();
  error.CloseWrite();

  ProgramResult result;
  std::size_t written = 0;
  if (run.input.empty()) input.CloseWrite();
  const auto deadline = std::chrono::steady_clock::now() + run.timeout;
  while (output.read >= 0 || error.read >= 0) {
    std::vector<pollfd> fds;
    if (output.read >= 0) fds.push_back({output.read, POLLIN, 0});
    if (error.read >= 0) fds.push_back({error.read, POLLIN, 0});
    if (input.write >= 0) fds.push_back({input.write, POLLOUT, 0});
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      ::kill(-child, SIGKILL);
      ::kill(child, SIGKILL);
      break;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    for (const auto& fd : fds) {
      if (fd.revents == 0) continue;
      if (fd.fd == input.write) {
        const auto n = ::write(input.write, run.input.data() + written, run.input.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n < 0 || written == run.input.size()) input.CloseWrite();
        continue;
      }
      char buffer[65536];
      const auto n = ::read(fd.fd, buffer, sizeof buffer);
      if (n <= 0) {
        if (fd.fd == output.read)
          output.CloseRead();
        else
          error.CloseRead();
      } else {
        (fd.fd == output.read ? result.out : result.err)
            .append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  input.CloseWrite();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace ravlin::testing

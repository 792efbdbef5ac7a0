#include "platform/posix/images/child_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/disk_images.hpp"
#include "platform/posix/processes/spawn_actions.hpp"

extern char** environ;

namespace ravlin {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr auto kGracePeriod = std::chrono::seconds(10);

UniqueFd MemoryFile(const char* name) {
  UniqueFd file(::memfd_create(name, MFD_CLOEXEC));
  if (!file.valid()) throw DiskImageError(std::string("no memory file: ") + std::strerror(errno));
  return file;
}

std::string ReadWhole(int descriptor) {
  std::string text;
  char buffer[4096];
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(descriptor, buffer, sizeof buffer, offset);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    offset += got;
  }
  return text;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::filesystem::path& workingFolder)
    : output_(MemoryFile("output")), errors_(MemoryFile("errors")) {
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), output_.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), errors_.get(), STDERR_FILENO);
  if (!workingFolder.empty())
    posix_spawn_file_actions_addchdir_np(actions.get(), workingFolder.c_str());
  SpawnAttributes attributes;
  posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(attributes.get(), 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(attributes.get(), &none);
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  if (const int error =
          ::posix_spawnp(&pid_, argv[0], actions.get(), attributes.get(), argv.data(), environ))
    throw DiskImageError(error == ENOENT
                             ? arguments.front() +
                                   " is not installed (Debian: qemu-utils, "
                                   "qemu-system-common, ntfs-3g)"
                             : "cannot start " + arguments.front() + ": " + std::strerror(error));
}

ChildProcess::~ChildProcess() {
  if (Wait(std::chrono::milliseconds(0))) return;
  ::kill(pid_, SIGTERM);
  if (Wait(kGracePeriod)) return;
  ::kill(pid_, SIGKILL);
  Wait(std::chrono::hours(1));
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!exitCode_) {
    int status = 0;
    const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended == pid_)
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    else if (ended < 0 && errno != EINTR)
      exitCode_ = -1;
    else if (std::chrono::steady_clock::now() >= deadline)
      break;
    else
      std::this_thread::sleep_for(kPollInterval);
  }
  return exitCode_;
}

std::string ChildProcess::Output() const {
  return ReadWhole(output_.get());
}

std::string ChildProcess::Errors() const {
  std::string text = ReadWhole(errors_.get());
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& character : text)
    if (character == '\n') character = ' ';
  return text;
}

bool ProcessRunning(pid_t pid, const std::string& name) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(") ");
  return pid > 0 && close != std::string::npos && close + 2 < line.size() &&
         line[close + 2] != 'Z' &&
         (name.empty() || line.find("(" + name + ")") != std::string::npos);
}

FinishedProgram RunToEnd(const std::vector<std::string>& arguments, std::chrono::seconds limit) {
  ChildProcess program(arguments);
  const auto exitCode = program.Wait(limit);
  if (!exitCode) throw DiskImageError(arguments.front() + " did not finish in time");
  return {*exitCode, program.Output(), program.Errors()};
}

}  // namespace ravlin

#include "platform/posix/processes/launcher.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>

namespace ravlin {
namespace {

// posix_spawn's attributes, destroyed however the start ends.
class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// Blocks the signals the launcher waits for, for the life of the object.
class BlockedSignals {
 public:
  BlockedSignals() {
    sigemptyset(&handled_);
    for (const int signal : {SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP})
      sigaddset(&handled_, signal);
    sigprocmask(SIG_BLOCK, &handled_, &previous_);
  }
  BlockedSignals(const BlockedSignals&) = delete;
  BlockedSignals& operator=(const BlockedSignals&) = delete;
  ~BlockedSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  const sigset_t& handled() const { return handled_; }
  const sigset_t& previous() const { return previous_; }

 private:
  sigset_t handled_;
  sigset_t previous_;
};

}  // namespace

int RunInFront(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> storage(arguments);
  std::vector<char*> argv;
  for (auto& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const BlockedSignals blocked;
  SpawnAttributes attributes;
  posix_spawnattr_setsigmask(attributes.get(), &blocked.previous());
  posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK);
  pid_t child = 0;
  const int failure =
      ::posix_spawn(&child, program.c_str(), nullptr, attributes.get(), argv.data(), environ);
  if (failure != 0) throw std::system_error(failure, std::generic_category());

  int status = 0;
  for (;;) {
    siginfo_t info{};
    if (sigwaitinfo(&blocked.handled(), &info) == -1) continue;
    if (info.si_signo == SIGTERM || info.si_signo == SIGHUP) ::kill(child, info.si_signo);
    if (info.si_signo == SIGCHLD && ::waitpid(child, &status, WNOHANG) == child) break;
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace ravlin

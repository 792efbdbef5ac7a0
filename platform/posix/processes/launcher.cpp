#include "platform/posix/processes/launcher.hpp"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>

#include "platform/posix/processes/spawn_actions.hpp"

namespace ravlin {
namespace {

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

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::filesystem::path MakePrivateFolder(const std::string& prefix) {
  const auto temp = std::filesystem::temp_directory_path();
  std::string pattern = (temp / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(),
                            "cannot make a private folder in " + temp.string());
  return std::filesystem::canonical(pattern);
}

int RunInFront(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::vector<std::pair<std::string, std::string>>& variables) {
  std::vector<std::string> argumentTexts(arguments);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const auto replaced = [&text](const auto& variable) {
      return text.starts_with(variable.first + "=");
    };
    if (std::none_of(variables.begin(), variables.end(), replaced)) environment.emplace_back(text);
  }
  for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);
  const auto argv = Pointers(argumentTexts);
  const auto envp = Pointers(environment);

  const BlockedSignals blocked;
  SpawnAttributes attributes;
  posix_spawnattr_setsigmask(attributes.get(), &blocked.previous());
  posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK);
  pid_t child = 0;
  const int failure =
      ::posix_spawn(&child, program.c_str(), nullptr, attributes.get(), argv.data(), envp.data());
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

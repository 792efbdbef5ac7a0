#include "tests/support/host_system.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin::testing {
namespace {

constexpr uid_t kNobody = 65534;
constexpr decltype(statfs::f_type) kTmpfsMagic = 0x01021994;

}  // namespace

bool RunningAsSuperuser() {
  return ::geteuid() == 0;
}

std::optional<bool> AsNobody(const std::function<bool()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    ::_exit(work() ? 1 : 0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) > 1)
    return std::nullopt;
  return WEXITSTATUS(status) == 1;
}

bool GiveToNobody(const std::filesystem::path& tree) {
  if (::chown(tree.c_str(), kNobody, kNobody) != 0) return false;
  if (!std::filesystem::is_directory(tree)) return true;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(tree))
    if (::chown(entry.path().c_str(), kNobody, kNobody) != 0) return false;
  return true;
}

std::optional<bool> OnMemoryFileSystem(const std::filesystem::path& path) {
  struct statfs info {};
  if (::statfs(path.c_str(), &info) != 0) return std::nullopt;
  return info.f_type == kTmpfsMagic;
}

std::optional<std::string> DeviceUnusable(const std::filesystem::path& device) {
  const UniqueFd opened(::open(device.c_str(), O_RDWR | O_CLOEXEC));
  if (!opened.valid()) return device.string() + " cannot be opened: " + std::strerror(errno);
  return std::nullopt;
}

bool ProcessExists(std::uint32_t id) {
  return ::kill(static_cast<pid_t>(id), 0) == 0;
}

void KillProcess(std::uint32_t id) {
  ::kill(static_cast<pid_t>(id), SIGKILL);
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  previous_ = limit.rlim_cur;
  previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = previous_;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, previousHandler_);
}

}  // namespace ravlin::testing

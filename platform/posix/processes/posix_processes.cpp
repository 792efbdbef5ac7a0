#include "platform/posix/processes/posix_processes.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <thread>
#include <utility>

#include "platform/last_line.hpp"
#include "platform/posix/processes/spawn_actions.hpp"
#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/posix/registry/registry_store.hpp"
#include "platform/posix/runtime/posix_errors.hpp"
#include "platform/text_bytes.hpp"

extern char** environ;

namespace ravlin {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool EndsWithExe(const std::string& name) {
  return name.size() > 4 &&
         EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe");
}

bool IsExecutableFile(const std::filesystem::path& file) {
  std::error_code error;
  return std::filesystem::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
}

// `name` in `folder`, the exact spelling first, then any spelling that differs only in case.
std::optional<std::filesystem::path> FindInFolder(const std::filesystem::path& folder,
                                                  const std::string& name) {
  if (IsExecutableFile(folder / name)) return folder / name;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (EqualsIgnoringAsciiCase(entry->path().filename().string(), name) &&
        IsExecutableFile(entry->path()))
      return entry->path();
  }
  return std::nullopt;
}

// The names that `name` may have on disk: itself, and without a trailing ".exe".
std::vector<std::string> CandidateNames(const std::string& name) {
  std::vector<std::string> names{name};
  if (EndsWithExe(name)) names.push_back(name.substr(0, name.size() - 4));
  return names;
}

std::vector<std::filesystem::path> SearchFolders(const std::string& searchPath) {
  std::vector<std::filesystem::path> folders;
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    const std::size_t end = std::min(searchPath.find(':', start), searchPath.size());
    // An empty entry means the current folder, as the shell reads PATH.
    folders.emplace_back(end == start ? std::string(".") : searchPath.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

std::string DefaultSearchPath() {
  const char* path = std::getenv("PATH");
  return path != nullptr ? std::string(path) : std::string("/usr/local/bin:/usr/bin:/bin");
}

std::uint32_t ExitCodeFromStatus(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  // A signal ends the process the way the shell reports it: 128 plus the signal number.
  if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return 0;
}

void PassOnToStandardError(const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(STDERR_FILENO, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

// Passes on what the child's standard error pipe holds now (a bounded amount, so that a
// writer that never pauses cannot hold the caller); false once every writer has closed it.
bool PassOnErrors(int pipe, LastLine* last) {
  char buffer[4096];
  for (int round = 0; round < 64; ++round) {
    const ssize_t size = ::read(pipe, buffer, sizeof buffer);
    if (size > 0) {
      PassOnToStandardError(buffer, static_cast<std::size_t>(size));
      if (last != nullptr) last->Add(std::string_view(buffer, static_cast<std::size_t>(size)));
    } else if (size < 0 && errno == EINTR) {
      continue;
    } else {
      return size < 0 && errno == EAGAIN;
    }
  }
  return true;
}

int OpenPidfd(std::uint32_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
  static_cast<void>(pid);
  return -1;
#endif
}

// Also true when the child can no longer be waited for (reaped by someone else), so that
// nobody waits for an end that has passed.
bool ChildHasEnded(std::uint32_t pid) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return errno != EINTR;
  return info.si_pid != 0;
}

// Waits for the child's end without reaping it first, so that TerminateProcess, which holds
// the same lock, can never signal a process id that the system has already given away.
// Meanwhile it passes the child's standard error on and keeps its last line.
void WaitForChild(const std::shared_ptr<PosixProcesses::Child>& child, UniqueFd errorPipe) {
  // Our own standard error closed by a reader must not end this program: the write fails.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

  const UniqueFd pidfd(OpenPidfd(child->pid));
  LastLine last;
  bool pipeOpen = errorPipe.valid();
  while (!ChildHasEnded(child->pid)) {
    pollfd events[2] = {{pidfd.get(), POLLIN, 0}, {pipeOpen ? errorPipe.get() : -1, POLLIN, 0}};
    // Without a pidfd the end is looked for every 20 ms.
    if (::poll(events, 2, pidfd.valid() ? -1 : 20) > 0 && events[1].revents != 0)
      pipeOpen = PassOnErrors(errorPipe.get(), &last);
  }
  // What the child wrote before it ended is all in the pipe by now.
  if (pipeOpen) pipeOpen = PassOnErrors(errorPipe.get(), &last);
  {
    std::lock_guard lock(child->mutex);
    int status = 0;
    while (::waitpid(static_cast<pid_t>(child->pid), &status, 0) == -1 && errno == EINTR) {
    }
    child->exitCode = child->terminatedWith.value_or(ExitCodeFromStatus(status));
    child->lastErrorLine = last.Get();
    child->ended = true;
  }
  child->endedChanged.notify_all();
  // A process the child left behind may still write to the same pipe.
  while (pipeOpen) {
    pollfd readable{errorPipe.get(), POLLIN, 0};
    if (::poll(&readable, 1, -1) > 0) pipeOpen = PassOnErrors(errorPipe.get(), nullptr);
  }
}

bool SignalProcess(const PosixProcesses::Opened& opened, int signal) {
#ifdef SYS_pidfd_send_signal
  if (opened.pidfd)
    return ::syscall(SYS_pidfd_send_signal, opened.pidfd->get(), signal, nullptr, 0) == 0;
#endif
  return ::kill(static_cast<pid_t>(opened.pid), signal) == 0;
}

bool OtherProcessRunning(const PosixProcesses::Opened& opened) {
  if (opened.pidfd) {
    pollfd readable{opened.pidfd->get(), POLLIN, 0};
    return ::poll(&readable, 1, 0) == 0;
  }
  return ::kill(static_cast<pid_t>(opened.pid), 0) == 0;
}

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  std::size_t at = 0;
  const std::size_t size = commandLine.size();

  // The program name: quoted up to the next quote, or up to the first blank; no escapes.
  std::string program;
  if (at < size && commandLine[at] == '"') {
    const std::size_t close = commandLine.find('"', at + 1);
    program =
        commandLine.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
    at = close == std::string::npos ? size : close + 1;
  } else {
    while (at < size && !IsBlank(commandLine[at])) program += commandLine[at++];
  }
  arguments.push_back(std::move(program));

  while (true) {
    while (at < size && IsBlank(commandLine[at])) ++at;
    if (at >= size) break;
    std::string argument;
    bool quoted = false;
    while (at < size && (quoted || !IsBlank(commandLine[at]))) {
      if (commandLine[at] == '\\') {
        std::size_t backslashes = 0;
        while (at < size && commandLine[at] == '\\') ++backslashes, ++at;
        if (at < size && commandLine[at] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            argument += '"';
            ++at;
          }
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (commandLine[at] == '"') {
        if (quoted && at + 1 < size && commandLine[at + 1] == '"') {
          argument += '"';
          at += 2;
        } else {
          quoted = !quoted;
          ++at;
        }
      } else {
        argument += commandLine[at++];
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::optional<std::filesystem::path> FindProgram(const std::string& program,
                                                 const std::filesystem::path& programFolder,
                                                 const std::string& searchPath,
                                                 const DriveTable& drives) {
  if (program.empty()) return std::nullopt;
  const bool windowsPath = program.find('\\') != std::string::npos ||
                           (program.size() >= 2 && program[1] == ':' &&
                            std::isalpha(static_cast<unsigned char>(program[0])));
  if (windowsPath || program.find('/') != std::string::npos) {
    const std::optional<std::filesystem::path> given =
        windowsPath ? drives.ResolveNative(program) : std::filesystem::path(program);
    if (!given) return std::nullopt;
    for (const auto& name : CandidateNames(given->filename().string()))
      if (auto found =
              FindInFolder(given->parent_path().empty() ? "." : given->parent_path(), name))
        return found;
    return std::nullopt;
  }
  std::vector<std::filesystem::path> folders{programFolder};
  const auto onPath = SearchFolders(searchPath);
  folders.insert(folders.end(), onPath.begin(), onPath.end());
  for (const auto& folder : folders)
    for (const auto& name : CandidateNames(program))
      if (auto found = FindInFolder(folder, name)) return found;
  return std::nullopt;
}

PosixProcesses::PosixProcesses(std::filesystem::path programFolder,
                               std::shared_ptr<const DriveTable> drives)
    : programFolder_(std::move(programFolder)), drives_(std::move(drives)) {}

// Children still running keep their waiting threads, which reap them when they end.
PosixProcesses::~PosixProcesses() = default;

std::uint32_t PosixProcesses::StartProcess(const std::string& commandLine, int windowStyle) {
  static_cast<void>(windowStyle);
  const auto arguments = SplitWindowsCommandLine(commandLine);
  if (arguments.front().empty()) throw RuntimeError(vb_error::kInvalidProcedureCall);
  const auto program =
      FindProgram(arguments.front(), programFolder_, DefaultSearchPath(), *drives_);
  if (!program) throw RuntimeError(vb_error::kFileNotFound);

  std::vector<char*> argv;
  std::vector<std::string> storage(arguments);
  for (auto& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // The child's standard error goes through a pipe of ours (without it, it goes straight on).
  UniqueFd readEnd, writeEnd;
  SpawnActions actions;
  if (int ends[2]; ::pipe2(ends, O_CLOEXEC) == 0) {
    readEnd = UniqueFd(ends[0]);
    writeEnd = UniqueFd(ends[1]);
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDERR_FILENO);
  }

  std::lock_guard lock(mutex_);
  pid_t pid = 0;
  const int failure =
      ::posix_spawn(&pid, program->c_str(), actions.get(), nullptr, argv.data(), environ);
  if (failure != 0) throw ErrorFromErrno(failure);

  auto child = std::make_shared<Child>();
  child->pid = static_cast<std::uint32_t>(pid);
  children_[child->pid] = child;
  std::thread(WaitForChild, child, std::move(readEnd)).detach();
  return child->pid;
}

Handle PosixProcesses::OpenProcess(std::uint32_t desiredAccess, bool inheritHandle,
                                   std::uint32_t processId) {
  static_cast<void>(desiredAccess);
  static_cast<void>(inheritHandle);
  if (processId == 0) return 0;
  std::lock_guard lock(mutex_);
  Opened opened;
  opened.pid = processId;
  if (const auto found = children_.find(processId); found != children_.end()) {
    opened.child = found->second;
  } else {
    // Another user's process, or none at all, cannot be opened, as on Windows.
    if (::kill(static_cast<pid_t>(processId), 0) != 0) return 0;
    if (const int pidfd = OpenPidfd(processId); pidfd >= 0)
      opened.pidfd = std::make_shared<const UniqueFd>(pidfd);
    else if (errno != ENOSYS)
      return 0;
  }
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, std::move(opened));
  return handle;
}

bool PosixProcesses::GetExitCodeProcess(Handle process, std::uint32_t& exitCode) {
  std::lock_guard lock(mutex_);
  const auto found = handles_.find(process);
  if (found == handles_.end()) return false;
  const Opened& opened = found->second;
  if (opened.child) {
    std::lock_guard childLock(opened.child->mutex);
    exitCode = opened.child->ended ? opened.child->exitCode : kStillActive;
    return true;
  }
  // Only a parent learns a process's exit code; another process that has ended reports 0.
  exitCode = OtherProcessRunning(opened) ? kStillActive : 0;
  return true;
}

bool PosixProcesses::WaitForProcess(Handle process, std::uint32_t milliseconds) {
  const std::chrono::milliseconds timeout(milliseconds);
  std::unique_lock lock(mutex_);
  const auto found = handles_.find(process);
  if (found == handles_.end()) {
    lock.unlock();
    std::this_thread::sleep_for(timeout);
    return false;
  }
  const Opened opened = found->second;
  lock.unlock();

  if (opened.child) {
    std::unique_lock childLock(opened.child->mutex);
    return opened.child->endedChanged.wait_for(childLock, timeout,
                                               [&] { return opened.child->ended; });
  }
  if (opened.pidfd) {
    pollfd readable{opened.pidfd->get(), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      const int ready = ::poll(&readable, 1,
                               static_cast<int>(std::clamp<std::int64_t>(
                                   left.count(), 0, std::numeric_limits<int>::max())));
      if (ready >= 0 || errno != EINTR) return ready > 0;
    }
  }
  // Without a pidfd the end is looked for every 10 ms.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (OtherProcessRunning(opened)) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(10)));
  }
  return true;
}

std::string PosixProcesses::LastErrorLine(Handle process) {
  std::lock_guard lock(mutex_);
  const auto found = handles_.find(process);
  if (found == handles_.end() || !found->second.child) return {};
  std::lock_guard childLock(found->second.child->mutex);
  return found->second.child->ended ? found->second.child->lastErrorLine : std::string();
}

bool PosixProcesses::TerminateProcess(Handle process, std::uint32_t exitCode) {
  std::lock_guard lock(mutex_);
  const auto found = handles_.find(process);
  if (found == handles_.end()) return false;
  const Opened& opened = found->second;
  if (opened.child) {
    std::lock_guard childLock(opened.child->mutex);
    if (opened.child->ended) return false;
    if (::kill(static_cast<pid_t>(opened.child->pid), SIGKILL) != 0) return false;
    opened.child->terminatedWith = exitCode;
    return true;
  }
  return SignalProcess(opened, SIGKILL);
}

bool PosixProcesses::CloseHandle(Handle handle) {
  std::lock_guard lock(mutex_);
  const auto found = handles_.find(handle);
  if (found == handles_.end()) return false;
  Opened opened = std::move(found->second);
  handles_.erase(found);
  if (opened.child) ForgetIfUnused(opened.child);
  return true;
}

void PosixProcesses::ForgetIfUnused(const std::shared_ptr<Child>& child) {
  {
    std::lock_guard childLock(child->mutex);
    if (!child->ended) return;
  }
  const bool stillOpen = std::any_of(handles_.begin(), handles_.end(), [&](const auto& entry) {
    return entry.second.child == child;
  });
  if (!stillOpen) children_.erase(child->pid);
}

namespace {

constexpr Handle kWindowHandleTag = 0x10000000;
constexpr std::string_view kRegistryEditorTitle = "Registry Editor";
// The window class of Wine's and Windows' registry editor.
constexpr std::string_view kRegistryEditorClass = "RegEdit_RegEdit";

std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The last component of argv[0], whether it was given with slashes or backslashes.
std::string ProgramNameOf(const std::filesystem::path& processFolder) {
  std::ifstream in(processFolder / "cmdline", std::ios::binary);
  std::string first;
  std::getline(in, first, '\0');
  const std::size_t slash = first.find_last_of("/\\");
  return slash == std::string::npos ? first : first.substr(slash + 1);
}

bool IsRegistryEditorName(const std::string& name) {
  return EqualsIgnoringAsciiCase(name, "regedit") || EqualsIgnoringAsciiCase(name, "regedit.exe");
}

// The registry store another process works on, chosen from its environment as the program
// chooses it (a relative path from its working folder). Nothing when the environment cannot
// be read or reads empty, as it does while the process is still starting (inside execve,
// already under its new name): then nothing tells which store it will work on.
std::optional<std::filesystem::path> RegistryStoreOf(const std::filesystem::path& processFolder) {
  std::ifstream in(processFolder / "environ", std::ios::binary);
  std::map<std::string, std::string> variables;
  bool anyEntry = false;
  for (std::string entry; std::getline(in, entry, '\0');) {
    anyEntry = true;
    const std::size_t equals = entry.find('=');
    const std::string name = entry.substr(0, equals);
    if (equals != std::string::npos &&
        (name == "RAVLIN_REGISTRY" || name == "XDG_STATE_HOME" || name == "HOME"))
      variables.emplace(name, entry.substr(equals + 1));
  }
  if (!anyEntry) return std::nullopt;
  const auto value = [&](const char* name) {
    const auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
  const std::filesystem::path store =
      RegistryStoreFor(value("RAVLIN_REGISTRY"), value("XDG_STATE_HOME"), value("HOME"));
  std::error_code error;
  std::filesystem::path workingFolder;
  if (store.is_relative()) {
    workingFolder = std::filesystem::read_symlink(processFolder / "cwd", error);
    if (error) return std::nullopt;
  }
  return std::filesystem::weakly_canonical(workingFolder / store, error);
}

bool IsZombie(const std::filesystem::path& processFolder) {
  const std::string stat = FirstLine(processFolder / "stat");
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

}  // namespace

PosixTopLevelWindows::PosixTopLevelWindows(std::filesystem::path registryStore) {
  std::error_code error;
  registryStore_ =
      std::filesystem::weakly_canonical(std::filesystem::absolute(registryStore), error);
  if (error) registryStore_ = std::move(registryStore);
}

Handle PosixTopLevelWindows::FindWindowA(const std::string& className,
                                         const std::string& windowName) {
  if (windowName.empty() && className.empty()) return 0;
  if (!windowName.empty() && windowName != kRegistryEditorTitle) return 0;
  if (!className.empty() && className != kRegistryEditorClass) return 0;
  if (!EditorPresence::AnyIn(registryStore_)) return 0;
  std::vector<std::uint32_t> pids;
  std::error_code error;
  for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
    pids.push_back(static_cast<std::uint32_t>(std::stoul(name)));
  }
  std::sort(pids.begin(), pids.end());
  for (const std::uint32_t pid : pids) {
    if (pid == static_cast<std::uint32_t>(::getpid())) continue;
    const std::filesystem::path folder = "/proc/" + std::to_string(pid);
    struct stat owner {};
    if (::stat(folder.c_str(), &owner) != 0 || owner.st_uid != ::getuid()) continue;
    if (!IsRegistryEditorName(FirstLine(folder / "comm")) &&
        !IsRegistryEditorName(ProgramNameOf(folder)))
      continue;
    if (IsZombie(folder)) continue;
    // Ours only when it positively works on our store.
    if (RegistryStoreOf(folder) != registryStore_) continue;
    return kWindowHandleTag | (static_cast<Handle>(pid) << 2);
  }
  return 0;
}

std::uint32_t PosixTopLevelWindows::GetWindowThreadProcessId(Handle window,
                                                             std::uint32_t& processId) {
  processId = 0;
  if ((window & ~static_cast<Handle>(0x0FFFFFFC)) != kWindowHandleTag) return 0;
  processId = static_cast<std::uint32_t>((window & 0x0FFFFFFC) >> 2);
  // A process's first thread has the process's own id.
  return processId;
}

}  // namespace ravlin

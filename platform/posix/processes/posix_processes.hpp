#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "platform/processes.hpp"

namespace ravlin {

// Splits a command line into arguments as Windows' CommandLineToArgvW does: the program name
// ends at the first blank or tab unless quoted and takes no escapes; in the arguments
// 2n backslashes before a quote give n backslashes and a quote that opens or closes a quoted
// part, 2n+1 give n backslashes and a literal quote, and "" inside a quoted part is a quote.
std::vector<std::string> SplitWindowsCommandLine(const std::string& commandLine);

// Where Windows' program search would find `program`: a name with a folder is taken as given
// (a drive-letter path through `drives`), a bare name is looked for in `programFolder` first
// and then in each folder of `searchPath`; a name ending in ".exe" (any case) also matches
// the name without it. Names match ignoring case, as on NTFS.
std::optional<std::filesystem::path> FindProgram(const std::string& program,
                                                 const std::filesystem::path& programFolder,
                                                 const std::string& searchPath,
                                                 const DriveTable& drives);

// Processes on Linux. Children are started with posix_spawn; each has a thread that waits
// for its end and keeps its exit code, so that no child is left a zombie even when nobody
// asks about it, and that passes the child's standard error on to ours while it keeps the
// last line. Other processes of this user can be opened, watched and killed (a pidfd holds
// on to the process, so a reused id is never mistaken for it).
class PosixProcesses : public Processes {
 public:
  PosixProcesses(std::filesystem::path programFolder, std::shared_ptr<const DriveTable> drives);
  PosixProcesses(const PosixProcesses&) = delete;
  PosixProcesses& operator=(const PosixProcesses&) = delete;
  ~PosixProcesses() override;

  // The window style has no meaning for Linux programs and is ignored.
  std::uint32_t StartProcess(const std::string& commandLine, int windowStyle) override;
  Handle OpenProcess(std::uint32_t desiredAccess, bool inheritHandle,
                     std::uint32_t processId) override;
  bool GetExitCodeProcess(Handle process, std::uint32_t& exitCode) override;
  bool WaitForProcess(Handle process, std::uint32_t milliseconds) override;
  std::string LastErrorLine(Handle process) override;
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
  bool CloseHandle(Handle handle) override;

  // A child of ours: its waiting thread records the end under the lock, so that a kill never
  // reaches a reused process id.
  struct Child {
    std::uint32_t pid = 0;
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::uint32_t exitCode = 0;
    std::string lastErrorLine;
    // The exit code that TerminateProcess asked for, reported instead of the signal.
    std::optional<std::uint32_t> terminatedWith;
  };
  // An open handle: on a child of ours, or on another process through its pidfd (none where
  // the kernel has none, then the id alone). Shared, so that a wait in progress keeps it
  // open while another thread closes the handle.
  struct Opened {
    std::shared_ptr<Child> child;
    std::uint32_t pid = 0;
    std::shared_ptr<const UniqueFd> pidfd;
  };

 private:
  // Forgets an ended child once no handle refers to it any more; called under mutex_.
  void ForgetIfUnused(const std::shared_ptr<Child>& child);

  std::filesystem::path programFolder_;
  std::shared_ptr<const DriveTable> drives_;
  std::mutex mutex_;
  std::map<std::uint32_t, std::shared_ptr<Child>> children_;
  std::map<Handle, Opened> handles_;
  Handle nextHandle_ = 0x100;
};

// Linux has no top-level windows for us; a "Registry Editor" window stands for a running
// registry editor process of this user (one named regedit or regedit.exe: our importer, or
// Wine's) that works on `registryStore`, so that the repair can end it before it mounts a
// hive. Which store an editor works on is read from its environment as the editor itself
// reads it; an editor whose environment tells nothing (one still starting) or names another
// store is left alone, as it may hold another repair's keys (another repair on a store of
// its own, or tests that run side by side).
class PosixTopLevelWindows : public TopLevelWindows {
 public:
  explicit PosixTopLevelWindows(std::filesystem::path registryStore);

  Handle FindWindowA(const std::string& className, const std::string& windowName) override;
  std::uint32_t GetWindowThreadProcessId(Handle window, std::uint32_t& processId) override;

 private:
  std::filesystem::path registryStore_;
};

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.hpp"

namespace ravlin {

inline constexpr std::uint32_t kProcessQueryInformation = 0x0400;
inline constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
inline constexpr std::uint32_t kStillActive = 259;

// Processes: start one from a command line, open it for watching, wait for it, read its exit
// code, end it.
class Processes {
 public:
  virtual ~Processes() = default;

  // Starts a command line as Windows parses it (the program found in the program folder
  // first, then on the search path; on Windows the registry editor is always the system's
  // own) and returns the process id. Throws RuntimeError (53 File
  // not found, ...) when the process cannot be started.
  virtual std::uint32_t StartProcess(const std::string& commandLine, int windowStyle) = 0;
  // A handle on the process, or 0 when it cannot be opened.
  virtual Handle OpenProcess(std::uint32_t desiredAccess, bool inheritHandle,
                             std::uint32_t processId) = 0;
  // 259 while the process runs; its exit code once it has ended.
  virtual bool GetExitCodeProcess(Handle process, std::uint32_t& exitCode) = 0;
  // Returns true as soon as the process has ended (at once when it has already), false when
  // `milliseconds` have passed first. A handle that cannot be waited on is not an early
  // wake-up: the call then just lets the time pass.
  virtual bool WaitForProcess(Handle process, std::uint32_t milliseconds) = 0;
  // The last non-empty line that a process started by StartProcess wrote to its standard
  // error (which still reaches ours), without the line break; empty while it runs, when it
  // wrote none, and for processes started elsewhere.
  virtual std::string LastErrorLine(Handle process) = 0;
  virtual bool TerminateProcess(Handle process, std::uint32_t exitCode) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
};

// Top-level windows and the processes that own them.
class TopLevelWindows {
 public:
  virtual ~TopLevelWindows() = default;

  // The first top-level window whose title is exactly `windowName` (any title when that is
  // empty) and whose class is `className` (any class when that is empty), or 0. At least one
  // of the two is given.
  virtual Handle FindWindowA(const std::string& className, const std::string& windowName) = 0;
  // The id of the thread that made the window; `processId` receives the owning process (0
  // for no window).
  virtual std::uint32_t GetWindowThreadProcessId(Handle window, std::uint32_t& processId) = 0;
};

}  // namespace ravlin

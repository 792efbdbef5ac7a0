#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/processes.hpp"
#include "platform/win32/runtime/win32_handles.hpp"

namespace ravlin {

// Processes on Windows. A process started here (CreateProcessW) writes its standard error
// into a pipe of ours; a watching thread passes it on to our own standard error, keeps the
// last line and, once the process has ended and what it wrote before is read, signals the
// end. Until then the process counts as running, so that its last line is complete when its
// end is seen. Other processes are opened with OpenProcess and watched through their handle.
// Every Handle given out is a real process handle that this object owns until CloseHandle.
class Win32Processes : public Processes {
 public:
  explicit Win32Processes(std::filesystem::path programFolder);
  Win32Processes(const Win32Processes&) = delete;
  Win32Processes& operator=(const Win32Processes&) = delete;
  ~Win32Processes() override;

  // The registry editor by a bare name is the one in the running system's Windows folder;
  // another bare program name is looked for in the program folder first; everything else
  // follows CreateProcessW's own search (the folder of our executable, the current folder,
  // the system folders, then PATH).
  std::uint32_t StartProcess(const std::string& commandLine, int windowStyle) override;
  Handle OpenProcess(std::uint32_t desiredAccess, bool inheritHandle,
                     std::uint32_t processId) override;
  bool GetExitCodeProcess(Handle process, std::uint32_t& exitCode) override;
  bool WaitForProcess(Handle process, std::uint32_t milliseconds) override;
  std::string LastErrorLine(Handle process) override;
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
  bool CloseHandle(Handle handle) override;

  // A process started here. Its watching thread shares it and writes the last line before it
  // sets `ended`; whoever sees `ended` set may read the line.
  struct Child {
    std::uint32_t pid = 0;
    UniqueHandle process;
    // Set by the watching thread; none when no thread watches (the process handle then
    // tells the end, and no line is kept).
    UniqueHandle ended;
    std::string lastErrorLine;
  };
  // An open handle. Shared, so that a wait in progress keeps the handle open while another
  // thread closes it.
  struct Opened {
    std::shared_ptr<const UniqueHandle> process;
    std::shared_ptr<Child> child;
  };

 private:
  std::shared_ptr<Child> Start(const std::string& commandLine, int windowStyle);
  // A copy of the entry for `handle`, or nothing.
  std::unique_ptr<Opened> Find(Handle handle);
  // Forgets an ended child once no handle refers to it any more; called under lock_.
  void ForgetIfUnused(const std::shared_ptr<Child>& child);

  std::filesystem::path programFolder_;
  CriticalSection lock_;
  std::map<std::uint32_t, std::shared_ptr<Child>> children_;
  std::map<Handle, Opened> handles_;
};

// Top-level windows of the desktop, by title and class.
class Win32TopLevelWindows : public TopLevelWindows {
 public:
  Handle FindWindowA(const std::string& className, const std::string& windowName) override;
  std::uint32_t GetWindowThreadProcessId(Handle window, std::uint32_t& processId) override;
};

}  // namespace ravlin

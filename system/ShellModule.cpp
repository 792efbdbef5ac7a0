#include "system/ShellModule.hpp"

#include <exception>

#include "platform/runtime_error.hpp"

namespace ravlin {
namespace {

constexpr std::uint32_t kPollIntervalMs = 100;
constexpr const char* kCannotWatchMessage =
    "This program could not determine whether the process started."
    "Please watch the program and check it completes.";
constexpr const char* kTimedOutMessage = "The process has timed out.";

// Closes the process handle however the wait ends.
class ProcessHandle {
 public:
  explicit ProcessHandle(Processes& processes) : processes_(processes) {}
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  ~ProcessHandle() {
    if (handle_ != 0) processes_.CloseHandle(handle_);
  }

  void Open(std::uint32_t processId) {
    handle_ = processes_.OpenProcess(kProcessQueryInformation, false, processId);
  }
  Handle Get() const { return handle_; }

 private:
  Processes& processes_;
  Handle handle_ = 0;
};

// Milliseconds since `start` on the wrapping 32-bit counter: the unsigned difference is right
// across the wrap, and read as signed it stays comparable with a signed time-out.
std::int32_t ElapsedSince(std::uint32_t start, std::uint32_t now) {
  return static_cast<std::int32_t>(now - start);
}

}  // namespace

bool ShellAndWait(const Platform& platform, const std::string& commandLine, int windowStyle,
                  std::string& message, std::int32_t timeoutMs, std::uint32_t* exitCode,
                  std::string* errorLine) {
  ProcessHandle process(*platform.processes);
  try {
    const std::uint32_t processId = platform.processes->StartProcess(commandLine, windowStyle);
    process.Open(processId);
    if (process.Get() == 0) {
      message = kCannotWatchMessage;
      return false;
    }

    bool watchedToEnd = true;
    // Once the process has ended, an exit code that still reads 259 leaves nothing to wake on.
    bool ended = false;
    const std::uint32_t start = platform.clock->timeGetTime();
    std::uint32_t lastExitCode = 0;
    do {
      // A failed query leaves the previous exit code standing.
      platform.processes->GetExitCodeProcess(process.Get(), lastExitCode);
      platform.ui->DoEvents();
      // The wait ends with the process, so its end costs no more than the process itself,
      // and within one interval in any case, so that window messages keep running.
      if (lastExitCode == kStillActive) {
        if (ended)
          platform.clock->Sleep(kPollIntervalMs);
        else
          ended = platform.processes->WaitForProcess(process.Get(), kPollIntervalMs);
      }
      if (ElapsedSince(start, platform.clock->timeGetTime()) > timeoutMs) {
        message = kTimedOutMessage;
        lastExitCode = 0;
        watchedToEnd = false;
      }
    } while (lastExitCode == kStillActive);
    if (watchedToEnd && exitCode != nullptr) *exitCode = lastExitCode;
    if (watchedToEnd && errorLine != nullptr)
      *errorLine = platform.processes->LastErrorLine(process.Get());
    return watchedToEnd;
  } catch (const RuntimeError& error) {
    message = error.Description();
  } catch (const std::exception& error) {
    message = error.what();
  }
  return false;
}

}  // namespace ravlin

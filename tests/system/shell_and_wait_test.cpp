#include "system/ShellModule.hpp"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/processes/posix_processes.hpp"
#include "platform/posix/runtime/posix_clock.hpp"
#include "platform/runtime_error.hpp"
#include "tests/support/host_system.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using ravlin::testing::ScriptedUi;
using ravlin::testing::TempDir;

// The real process service, watched: which processes were started, which handles are still
// open, how often it was waited on. `refuseOpen` stands for a process the system will not let
// us open, `endedWith259` for one that ends with the exit code that also means "running".
class WatchedProcesses : public Processes {
 public:
  explicit WatchedProcesses(const std::filesystem::path& programFolder)
      : real_(programFolder, std::make_shared<const DriveTable>("")) {}

  std::uint32_t StartProcess(const std::string& commandLine, int windowStyle) override {
    started.push_back(real_.StartProcess(commandLine, windowStyle));
    return started.back();
  }
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) override {
    if (refuseOpen) return 0;
    const Handle handle = real_.OpenProcess(access, inherit, processId);
    if (handle != 0) open.insert(handle);
    ++opened;
    return handle;
  }
  bool GetExitCodeProcess(Handle process, std::uint32_t& exitCode) override {
    const bool read = real_.GetExitCodeProcess(process, exitCode);
    if (endedWith259) exitCode = kStillActive;
    return read;
  }
  bool WaitForProcess(Handle process, std::uint32_t milliseconds) override {
    ++waits;
    return real_.WaitForProcess(process, milliseconds);
  }
  std::string LastErrorLine(Handle process) override { return real_.LastErrorLine(process); }
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override {
    return real_.TerminateProcess(process, exitCode);
  }
  bool CloseHandle(Handle handle) override {
    open.erase(handle);
    return real_.CloseHandle(handle);
  }

  // Ends every process a test left running.
  ~WatchedProcesses() override {
    for (const auto pid : started) testing::KillProcess(pid);
  }

  std::vector<std::uint32_t> started;
  std::set<Handle> open;
  int opened = 0;
  int waits = 0;
  bool refuseOpen = false;
  bool endedWith259 = false;

 private:
  PosixProcesses real_;
};

// A counter that starts where the test wants it (near a wrap) and moves by `step` at each
// reading after the first: one step per cycle of the wait. Sleeps take no time and are counted.
class SteppingClock : public Clock {
 public:
  SteppingClock(std::uint32_t start, std::uint32_t step) : now_(start), step_(step) {}
  std::uint32_t timeGetTime() override { return std::exchange(now_, now_ + step_); }
  void Sleep(std::uint32_t) override { ++sleeps; }

  int sleeps = 0;

 private:
  std::uint32_t now_;
  std::uint32_t step_;
};

// The real clock, with its sleeps counted.
class CountingClock : public PosixClock {
 public:
  void Sleep(std::uint32_t milliseconds) override {
    ++sleeps;
    PosixClock::Sleep(milliseconds);
  }

  int sleeps = 0;
};

class ShellAndWaitTest : public ::testing::Test {
 protected:
  TempDir temp;
  std::shared_ptr<ScriptedUi> ui = std::make_shared<ScriptedUi>();
  std::shared_ptr<WatchedProcesses> processes =
      std::make_shared<WatchedProcesses>(temp / "program");
  Platform platform;
  std::string message = "untouched";

  void SetUp() override {
    platform.ui = ui;
    platform.processes = processes;
    platform.clock = std::make_shared<PosixClock>();
  }
  SteppingClock& UseClock(std::uint32_t start, std::uint32_t step) {
    auto clock = std::make_shared<SteppingClock>(start, step);
    platform.clock = clock;
    return *clock;
  }
};

TEST_F(ShellAndWaitTest, ProcessWatchedToItsEndLeavesTheMessageAlone) {
  EXPECT_TRUE(ShellAndWait(platform, "true", 1, message, 2000000000));
  EXPECT_EQ(message, "untouched");
  EXPECT_GE(ui->doEventsCalls, 1);
  EXPECT_TRUE(processes->open.empty());

  std::uint32_t exitCode = 0;
  EXPECT_TRUE(ShellAndWait(platform, R"(sh -c "exit 3")", 1, message, 2000000000, &exitCode));
  EXPECT_EQ(exitCode, 3u);
  EXPECT_EQ(message, "untouched");

  // A process that runs for a while is polled, with the message pump, until it ends.
  ui->doEventsCalls = 0;
  EXPECT_TRUE(ShellAndWait(platform, "sleep 0.4", 1, message, 2000000000, &exitCode));
  EXPECT_GE(ui->doEventsCalls, 3);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(processes->open.empty());
}

TEST_F(ShellAndWaitTest, LastLineOnStandardErrorReachesTheCallerAndStillPassesOn) {
  std::uint32_t exitCode = 0;
  std::string errorLine = "untouched";
  ::testing::internal::CaptureStderr();
  const bool watched = ShellAndWait(
      platform, R"(sh -c "echo first >&2; echo 'regedit: Disk full' >&2; echo >&2; exit 1")", 1,
      message, 2000000000, &exitCode, &errorLine);
  const std::string passedOn = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(watched);
  EXPECT_EQ(exitCode, 1u);
  EXPECT_EQ(errorLine, "regedit: Disk full");
  EXPECT_EQ(passedOn, "first\nregedit: Disk full\n\n");

  // A last line without its line break counts; nothing written gives an empty text.
  EXPECT_TRUE(ShellAndWait(platform, R"(sh -c "printf 'no break\r' >&2")", 1, message, 2000000000,
                           nullptr, &errorLine));
  EXPECT_EQ(errorLine, "no break");
  EXPECT_TRUE(ShellAndWait(platform, "true", 1, message, 2000000000, nullptr, &errorLine));
  EXPECT_EQ(errorLine, "");

  // Not watched to its end: left as it was.
  errorLine = "untouched";
  EXPECT_FALSE(ShellAndWait(platform, R"(sh -c "echo early >&2; exec sleep 30")", 1, message, -1,
                            nullptr, &errorLine));
  EXPECT_EQ(errorLine, "untouched");
  EXPECT_EQ(message, "The process has timed out.");
}

TEST_F(ShellAndWaitTest, QuotedProgramAndArgumentsWithBlanks) {
  const auto folder = temp / "folder with blanks";
  ravlin::testing::WriteFile(folder / "record args",
                             "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"\n");
  std::filesystem::permissions(folder / "record args", std::filesystem::perms::owner_all);
  const std::string commandLine =
      "\"" + (folder / "record args").string() + R"(" /s "Z:\tmp\a b\tarvel001.reg" x)";
  EXPECT_TRUE(ShellAndWait(platform, commandLine, 1, message, 2000000000));
  EXPECT_EQ(ravlin::testing::ReadFile(folder / "args"), R"(/s|Z:\tmp\a b\tarvel001.reg|x|)");
}

TEST_F(ShellAndWaitTest, MissingProgramFailsWithoutOpeningAHandle) {
  EXPECT_FALSE(ShellAndWait(platform, R"(regedit-not-here.exe /s "x.reg")", 1, message, 1000));
  EXPECT_EQ(message, "File not found");
  EXPECT_EQ(processes->opened, 0);
  EXPECT_EQ(ui->doEventsCalls, 0);
}

TEST_F(ShellAndWaitTest, ProcessThatCannotBeOpenedIsNotWaitedFor) {
  processes->refuseOpen = true;
  EXPECT_FALSE(ShellAndWait(platform, "sleep 5", 1, message, 2000000000));
  EXPECT_EQ(message,
            "This program could not determine whether the process started."
            "Please watch the program and check it completes.");
  EXPECT_EQ(ui->doEventsCalls, 0);
}

TEST_F(ShellAndWaitTest, TimeOutIsStrictlyGreaterAndLeavesTheProcessRunning) {
  // Each cycle moves the counter by 1000 ms: elapsed 1000, 2000, 3000.
  UseClock(5000, 1000);
  EXPECT_FALSE(ShellAndWait(platform, "sleep 30", 1, message, 2500));
  EXPECT_EQ(message, "The process has timed out.");
  EXPECT_EQ(ui->doEventsCalls, 3);
  EXPECT_TRUE(processes->open.empty());
  ASSERT_EQ(processes->started.size(), 1u);
  EXPECT_TRUE(testing::ProcessExists(processes->started[0])) << "left running";

  UseClock(5000, 1000);
  ui->doEventsCalls = 0;
  EXPECT_FALSE(ShellAndWait(platform, "sleep 30", 1, message, 3000));
  EXPECT_EQ(ui->doEventsCalls, 4);
}

TEST_F(ShellAndWaitTest, ZeroOrNegativeTimeOutFailsTheFirstCycleEvenForAnEndedProcess) {
  // A negative time-out has passed whatever the clock says; zero as soon as it moves.
  for (const std::int32_t timeout : {0, -5}) {
    if (timeout == 0) UseClock(5000, 1);
    message = "untouched";
    ui->doEventsCalls = 0;
    EXPECT_FALSE(ShellAndWait(platform, "true", 1, message, timeout));
    EXPECT_EQ(message, "The process has timed out.");
    EXPECT_EQ(ui->doEventsCalls, 1);
  }
  EXPECT_TRUE(processes->open.empty());
}

TEST_F(ShellAndWaitTest, WaitWakesWhenTheProcessEndsInsteadOfSleeping) {
  auto clock = std::make_shared<CountingClock>();
  platform.clock = clock;
  EXPECT_TRUE(ShellAndWait(platform, "sleep 0.35", 1, message, 2000000000));
  EXPECT_EQ(clock->sleeps, 0);
  // Each wait lasts one interval at most, so messages still ran at least every 100 ms.
  EXPECT_GE(ui->doEventsCalls, 3);
  EXPECT_EQ(processes->waits, ui->doEventsCalls - 1);
}

TEST_F(ShellAndWaitTest, ProcessThatEndedWith259IsWaitedForBySleepingUntilTheTimeOut) {
  processes->endedWith259 = true;
  SteppingClock& clock = UseClock(5000, 1000);
  EXPECT_FALSE(ShellAndWait(platform, "true", 1, message, 9500));
  EXPECT_EQ(message, "The process has timed out.");
  EXPECT_EQ(ui->doEventsCalls, 10);
  // Once the wait has seen the end, nothing is left to wake on: the cycles sleep.
  EXPECT_GT(clock.sleeps, 0);
  EXPECT_EQ(processes->waits + clock.sleeps, 10);
}

TEST_F(ShellAndWaitTest, CounterWrapDuringAWaitIsNoFailure) {
  // Across the signed wrap (2147483647 to -2147483648) and the unsigned wrap (to 0).
  for (const std::uint32_t start : {0x7FFFFF9Cu, 0xFFFFFF9Cu}) {
    UseClock(start, 100);
    message = "untouched";
    EXPECT_TRUE(ShellAndWait(platform, "sleep 0.2", 1, message, 2000000000)) << start;
    EXPECT_EQ(message, "untouched");
  }
  // And a time-out still counts across the wrap: 30 cycles of 100 ms pass 2500 ms.
  UseClock(0xFFFFFF00u, 100);
  ui->doEventsCalls = 0;
  EXPECT_FALSE(ShellAndWait(platform, "sleep 30", 1, message, 2500));
  EXPECT_EQ(ui->doEventsCalls, 26);
}

TEST_F(ShellAndWaitTest, RunTimeErrorDuringTheWaitClosesTheHandle) {
  ui->onDoEvents = [] { throw RuntimeError(vb_error::kOverflow); };
  EXPECT_FALSE(ShellAndWait(platform, "sleep 1", 1, message, 2000000000));
  EXPECT_EQ(message, "Overflow");
  EXPECT_EQ(processes->opened, 1);
  EXPECT_TRUE(processes->open.empty());
}

}  // namespace
}  // namespace ravlin

#include "platform/posix/processes/posix_processes.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/runtime_error.hpp"
#include "tests/support/temp_dir.hpp"

extern char** environ;

namespace ravlin {
namespace {

using ravlin::testing::TempDir;
using ravlin::testing::WriteFile;
using Arguments = std::vector<std::string>;

void MakeScript(const std::filesystem::path& file, const std::string& body) {
  WriteFile(file, "#!/bin/sh\n" + body + "\n");
  std::filesystem::permissions(file, std::filesystem::perms::owner_all);
}

// Polls until `done` holds; the processes under test end on their own within moments.
template <typename Condition>
bool Eventually(Condition done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

bool ProcessExists(std::uint32_t pid) {
  return std::filesystem::exists("/proc/" + std::to_string(pid));
}

TEST(SplitWindowsCommandLine, ProgramNameTakesNoEscapes) {
  EXPECT_EQ(SplitWindowsCommandLine(R"(regedit.exe /s "C:\Program Files\Ravlin\tarvel001.reg")"),
            (Arguments{"regedit.exe", "/s", R"(C:\Program Files\Ravlin\tarvel001.reg)"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"("C:\My Tools\p.exe"x  y)"),
            (Arguments{R"(C:\My Tools\p.exe)", "x", "y"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(C:\dir\p\"x)"), (Arguments{R"(C:\dir\p\"x)"}));
  EXPECT_EQ(SplitWindowsCommandLine(" p"), (Arguments{"", "p"}));
}

TEST(SplitWindowsCommandLine, BackslashesAndQuotesInArguments) {
  // 2n backslashes and a quote: n backslashes, the quote delimits.
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "a\\" b)"), (Arguments{"p", R"(a\)", "b"}));
  // 2n+1 backslashes and a quote: n backslashes and a literal quote.
  EXPECT_EQ(SplitWindowsCommandLine(R"(p a\\\"b)"), (Arguments{"p", R"(a\"b)"}));
  // Backslashes not before a quote stay as they are, doubled ones included.
  EXPECT_EQ(SplitWindowsCommandLine(R"(p X:\\Ravlin_Required_Files\t.reg)"),
            (Arguments{"p", R"(X:\\Ravlin_Required_Files\t.reg)"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "a""b" "" "x y"z	t)"),
            (Arguments{"p", R"(a"b)", "", "x yz", "t"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "open ended)"), (Arguments{"p", "open ended"}));
}

TEST(FindProgram, ProgramFolderFirstThenSearchPathWithExeAndCase) {
  TempDir temp;
  const DriveTable drives("Q=" + temp.path().string());
  MakeScript(temp / "program" / "tool", "exit 0");
  MakeScript(temp / "bin1" / "tool", "exit 0");
  MakeScript(temp / "bin2" / "Other", "exit 0");
  WriteFile(temp / "bin1" / "plain", "not executable");
  const std::string searchPath = (temp / "bin1").string() + ":" + (temp / "bin2").string();

  EXPECT_EQ(FindProgram("tool", temp / "program", searchPath, drives), temp / "program" / "tool");
  EXPECT_EQ(FindProgram("TOOL.EXE", temp / "nothing", searchPath, drives), temp / "bin1" / "tool");
  EXPECT_EQ(FindProgram("other.exe", temp / "program", searchPath, drives),
            temp / "bin2" / "Other");
  EXPECT_EQ(FindProgram("plain", temp / "program", searchPath, drives), std::nullopt);
  EXPECT_EQ(FindProgram("tool.com", temp / "program", searchPath, drives), std::nullopt);
  EXPECT_EQ(FindProgram(R"(Q:\BIN2\other.exe)", temp / "program", "", drives),
            temp / "bin2" / "Other");
  EXPECT_EQ(FindProgram((temp / "bin1" / "tool").string(), "/", "", drives),
            temp / "bin1" / "tool");
  EXPECT_EQ(FindProgram("", temp / "program", searchPath, drives), std::nullopt);
}

class PosixProcessesTest : public ::testing::Test {
 protected:
  TempDir temp;
  PosixProcesses processes{temp / "program", std::make_shared<const DriveTable>("")};

  std::uint32_t ExitCodeOf(Handle handle) {
    std::uint32_t code = 0;
    EXPECT_TRUE(processes.GetExitCodeProcess(handle, code));
    return code;
  }
};

TEST_F(PosixProcessesTest, ChildExitCodeIsStillActiveUntilItEndsAndNoZombieStays) {
  const std::uint32_t pid = processes.StartProcess(R"(sh -c "sleep 0.3; exit 3")", 1);
  const Handle handle = processes.OpenProcess(kProcessQueryInformation, false, pid);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(ExitCodeOf(handle), kStillActive);
  EXPECT_TRUE(Eventually([&] { return ExitCodeOf(handle) != kStillActive; }));
  EXPECT_EQ(ExitCodeOf(handle), 3u);
  // Reaped as soon as it ended, without anybody waiting for it.
  EXPECT_TRUE(Eventually([&] { return !ProcessExists(pid); }));
  EXPECT_TRUE(processes.CloseHandle(handle));
  EXPECT_FALSE(processes.CloseHandle(handle));
  std::uint32_t code = 0;
  EXPECT_FALSE(processes.GetExitCodeProcess(handle, code));
}

TEST_F(PosixProcessesTest, ChildThatEndedBeforeItWasOpenedCanStillBeWatched) {
  const std::uint32_t pid = processes.StartProcess("true", 1);
  EXPECT_TRUE(Eventually([&] { return !ProcessExists(pid); }));
  const Handle handle = processes.OpenProcess(kProcessQueryInformation, false, pid);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(ExitCodeOf(handle), 0u);
  processes.CloseHandle(handle);
  // Once its last handle is closed the id is forgotten, as the system may reuse it.
  EXPECT_EQ(processes.OpenProcess(kProcessQueryInformation, false, pid), 0u);
}

TEST_F(PosixProcessesTest, TerminateEndsChildWithTheGivenExitCode) {
  const std::uint32_t pid = processes.StartProcess("sleep 30", 1);
  const Handle handle = processes.OpenProcess(kProcessAllAccess, false, pid);
  ASSERT_NE(handle, 0u);
  EXPECT_TRUE(processes.TerminateProcess(handle, 7));
  EXPECT_TRUE(Eventually([&] { return ExitCodeOf(handle) != kStillActive; }));
  EXPECT_EQ(ExitCodeOf(handle), 7u);
  EXPECT_FALSE(processes.TerminateProcess(handle, 0));
  processes.CloseHandle(handle);
}

TEST_F(PosixProcessesTest, LastErrorLineOnceTheChildHasEndedEvenWhenItLeftAWriterBehind) {
  // The child leaves a process behind that holds its standard error open for long after.
  const auto leftBehind = temp / "left-behind.pid";
  const std::uint32_t pid = processes.StartProcess(
      R"(sh -c "sleep 30 & echo $! > ')" + leftBehind.string() +
          R"('; echo 'regedit: Cannot import x.reg: line 7' >&2; sleep 0.2; exit 2")",
      1);
  const Handle handle = processes.OpenProcess(kProcessQueryInformation, false, pid);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(processes.LastErrorLine(handle), "");
  EXPECT_TRUE(Eventually([&] { return ExitCodeOf(handle) != kStillActive; }));
  EXPECT_EQ(ExitCodeOf(handle), 2u);
  EXPECT_EQ(processes.LastErrorLine(handle), "regedit: Cannot import x.reg: line 7");
  processes.CloseHandle(handle);
  ::kill(std::stoi(ravlin::testing::ReadFile(leftBehind)), SIGKILL);
  EXPECT_EQ(processes.LastErrorLine(handle), "");
}

// Ends `pid` a moment from now and keeps when it did.
class KillLater {
 public:
  explicit KillLater(std::uint32_t pid)
      : thread_([this, pid] {
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          killedAt_ = std::chrono::steady_clock::now();
          ::kill(static_cast<pid_t>(pid), SIGKILL);
        }) {}
  KillLater(const KillLater&) = delete;
  KillLater& operator=(const KillLater&) = delete;
  ~KillLater() { Join(); }
  std::chrono::steady_clock::time_point KilledAt() {
    Join();
    return killedAt_;
  }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  std::chrono::steady_clock::time_point killedAt_;
  std::thread thread_;
};

// How long `wait` took, and what it returned.
template <typename Wait>
std::pair<bool, std::chrono::milliseconds> Timed(Wait wait) {
  const auto start = std::chrono::steady_clock::now();
  const bool ended = wait();
  return {ended, std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start)};
}

TEST_F(PosixProcessesTest, WaitReturnsWhenTheProcessEndsOrTheTimeHasPassed) {
  const std::uint32_t child = processes.StartProcess("sleep 30", 1);
  pid_t other = 0;
  char sleepName[] = "sleep";
  char seconds[] = "30";
  char* argv[] = {sleepName, seconds, nullptr};
  ASSERT_EQ(::posix_spawnp(&other, "sleep", nullptr, nullptr, argv, environ), 0);

  // Our child (its waiting thread) and another process (its pidfd) alike.
  for (const std::uint32_t pid : {child, static_cast<std::uint32_t>(other)}) {
    SCOPED_TRACE(pid == child ? "child" : "other process");
    const Handle handle = processes.OpenProcess(kProcessQueryInformation, false, pid);
    ASSERT_NE(handle, 0u);
    const auto [endedEarly, shortWait] =
        Timed([&] { return processes.WaitForProcess(handle, 50); });
    EXPECT_FALSE(endedEarly);
    EXPECT_GE(shortWait.count(), 49);

    KillLater killer(pid);
    const auto [ended, longWait] = Timed([&] { return processes.WaitForProcess(handle, 60000); });
    const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - killer.KilledAt());
    EXPECT_TRUE(ended);
    // Woken by the end itself: a few milliseconds after it, not a polling interval.
    EXPECT_LT(late.count(), 1000) << "the wait took " << longWait.count() << " ms";
    EXPECT_NE(ExitCodeOf(handle), kStillActive);
    EXPECT_TRUE(processes.WaitForProcess(handle, 60000));
    processes.CloseHandle(handle);
  }
  int status = 0;
  EXPECT_EQ(::waitpid(other, &status, 0), other);

  // A handle that is not one: the time passes as asked, no early wake-up.
  const auto [ended, waited] = Timed([&] { return processes.WaitForProcess(0x4242, 30); });
  EXPECT_FALSE(ended);
  EXPECT_GE(waited.count(), 29);
}

TEST_F(PosixProcessesTest, StartFindsProgramFolderFirstAndPassesArguments) {
  MakeScript(temp / "program" / "echoargs", "printf '%s|' \"$@\" > \"$0.out\"");
  const std::uint32_t pid =
      processes.StartProcess(R"(echoargs.EXE /s "C:\Program Files\x.reg" a\\\"b)", 1);
  const Handle handle = processes.OpenProcess(kProcessQueryInformation, false, pid);
  EXPECT_TRUE(Eventually([&] { return ExitCodeOf(handle) != kStillActive; }));
  processes.CloseHandle(handle);
  EXPECT_EQ(ravlin::testing::ReadFile(temp / "program" / "echoargs.out"),
            R"(/s|C:\Program Files\x.reg|a\"b|)");
}

TEST_F(PosixProcessesTest, MissingProgramIsFileNotFound) {
  try {
    processes.StartProcess(R"(no-such-program-anywhere.exe /s "x.reg")", 1);
    FAIL() << "started a program that does not exist";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.Number(), vb_error::kFileNotFound);
    EXPECT_EQ(error.Description(), "File not found");
  }
  EXPECT_THROW(processes.StartProcess("", 1), RuntimeError);
}

TEST_F(PosixProcessesTest, OpensOtherProcessesOfThisUserOnlyWhileTheyExist) {
  EXPECT_EQ(processes.OpenProcess(kProcessAllAccess, false, 0), 0u);
  if (::getuid() != 0) {
    EXPECT_EQ(processes.OpenProcess(kProcessAllAccess, false, 1), 0u);
  }

  // A process this object did not start: its exit code is not ours to learn, but its end is.
  pid_t pid = 0;
  char sleepName[] = "sleep";
  char seconds[] = "30";
  char* argv[] = {sleepName, seconds, nullptr};
  ASSERT_EQ(::posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ), 0);
  const Handle handle =
      processes.OpenProcess(kProcessAllAccess, false, static_cast<std::uint32_t>(pid));
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(ExitCodeOf(handle), kStillActive);
  EXPECT_TRUE(processes.TerminateProcess(handle, 0));
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ExitCodeOf(handle), 0u);
  EXPECT_TRUE(processes.CloseHandle(handle));
  EXPECT_EQ(processes.OpenProcess(kProcessAllAccess, false, static_cast<std::uint32_t>(pid)), 0u);
}

TEST(PosixTopLevelWindows, RegistryEditorWindowStandsForAnEditorOfTheSameStore) {
  TempDir temp;
  const auto store = temp / "store";
  const auto elsewhere = temp / "elsewhere";
  PosixTopLevelWindows windows(store);
  std::uint32_t processId = 99;
  EXPECT_EQ(windows.GetWindowThreadProcessId(0, processId), 0u);
  EXPECT_EQ(processId, 0u);
  EXPECT_EQ(windows.FindWindowA("", "Registry Editor - other"), 0u);
  EXPECT_EQ(windows.FindWindowA("Notepad", "Registry Editor"), 0u);

  // Without the mark a running editor leaves on the store, no process is looked at.
  std::filesystem::copy_file("/bin/sleep", temp / "regedit.exe");
  PosixProcesses processes(temp.path(), std::make_shared<const DriveTable>(""));
  const std::uint32_t unmarked =
      processes.StartProcess("env -C " + temp.path().string() + " RAVLIN_REGISTRY=store " +
                                 (temp / "regedit.exe").string() + " 30",
                             1);
  EXPECT_TRUE(Eventually([&] {
    return ravlin::testing::ReadFile("/proc/" + std::to_string(unmarked) + "/comm") ==
           "regedit.exe\n";
  }));
  EXPECT_EQ(windows.FindWindowA("", "Registry Editor"), 0u);
  const Handle unmarkedProcess = processes.OpenProcess(kProcessAllAccess, false, unmarked);
  processes.TerminateProcess(unmarkedProcess, 0);
  // Gone before the scans below, which would otherwise meet it.
  EXPECT_TRUE(processes.WaitForProcess(unmarkedProcess, 10000));
  processes.CloseHandle(unmarkedProcess);
  // The mark, as the stand-ins cannot leave it themselves.
  const EditorPresence presence(store);

  // Stand-in editors: long sleeps that go by the editor's names, one working on our store
  // (given relative to its working folder) and one on another store.
  std::filesystem::copy_file("/bin/sleep", temp / "regedit");
  const std::uint32_t other = processes.StartProcess(
      "env RAVLIN_REGISTRY=" + elsewhere.string() + " " + (temp / "regedit").string() + " 30", 1);
  EXPECT_TRUE(Eventually([&] {
    return ravlin::testing::ReadFile("/proc/" + std::to_string(other) + "/comm") == "regedit\n";
  }));
  // Nothing else works on a store in this test's folder.
  EXPECT_EQ(windows.FindWindowA("", "Registry Editor"), 0u);

  const std::uint32_t ours =
      processes.StartProcess("env -C " + temp.path().string() + " RAVLIN_REGISTRY=store " +
                                 (temp / "regedit.exe").string() + " 30",
                             1);
  EXPECT_TRUE(Eventually([&] {
    return windows.GetWindowThreadProcessId(windows.FindWindowA("", "Registry Editor"),
                                            processId) != 0 &&
           processId == ours;
  }));
  // By its class alone, as for an editor whose title is in another language.
  EXPECT_EQ(windows.FindWindowA("RegEdit_RegEdit", ""), windows.FindWindowA("", "Registry Editor"));
  EXPECT_EQ(windows.FindWindowA("", ""), 0u);

  for (const std::uint32_t pid : {other, ours}) {
    const Handle process = processes.OpenProcess(kProcessAllAccess, false, pid);
    EXPECT_TRUE(processes.TerminateProcess(process, 0));
    processes.CloseHandle(process);
  }
}

}  // namespace
}  // namespace ravlin

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/runtime_error.hpp"
#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

// The child program of ours that lies beside the test program: the program folder.
constexpr const char* kChild = "child_program";
constexpr std::uint32_t kHidden = 0;

class ProcessesContract : public ContractTest {
 protected:
  Processes& processes() { return *platform_.processes; }

  // Starts the child with `steps` and opens it for watching.
  Handle Start(const std::string& steps, std::uint32_t access = kProcessQueryInformation) {
    const std::uint32_t pid = processes().StartProcess(std::string(kChild) + " " + steps, kHidden);
    EXPECT_NE(pid, 0u);
    const Handle handle = processes().OpenProcess(access, false, pid);
    EXPECT_NE(handle, 0u);
    return handle;
  }
  std::uint32_t ExitCodeOf(Handle handle) {
    std::uint32_t code = 12345;
    EXPECT_TRUE(processes().GetExitCodeProcess(handle, code));
    return code;
  }
  // Waits for the end for up to a minute: the children end on their own within moments.
  void WaitForEnd(Handle handle) { ASSERT_TRUE(processes().WaitForProcess(handle, 60000)); }
};

// Milliseconds that `action` took.
template <typename Action>
long long MillisecondsOf(Action action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

TEST_F(ProcessesContract, RunsUntilItEndsThenGivesItsExitCode) {
  const Handle handle = Start("sleep 700 exit 3");
  EXPECT_EQ(ExitCodeOf(handle), kStillActive);
  EXPECT_FALSE(processes().WaitForProcess(handle, 50));
  EXPECT_EQ(ExitCodeOf(handle), kStillActive);
  WaitForEnd(handle);
  EXPECT_EQ(ExitCodeOf(handle), 3u);
  // Once ended, a wait returns at once, however long it may take.
  EXPECT_TRUE(processes().WaitForProcess(handle, 0));
  EXPECT_TRUE(processes().CloseHandle(handle));

  EXPECT_FALSE(processes().CloseHandle(handle));
  std::uint32_t code = 12345;
  EXPECT_FALSE(processes().GetExitCodeProcess(handle, code));
  EXPECT_EQ(code, 12345u);
}

TEST_F(ProcessesContract, ProcessThatEndedBeforeItWasOpenedStillGivesItsExitCode) {
  const std::uint32_t pid = processes().StartProcess(std::string(kChild) + " exit 9", kHidden);
  // A second handle on the same child, opened and closed while it runs, changes nothing.
  const Handle early = processes().OpenProcess(kProcessQueryInformation, false, pid);
  ASSERT_NE(early, 0u);
  WaitForEnd(early);
  const Handle late = processes().OpenProcess(kProcessQueryInformation, false, pid);
  ASSERT_NE(late, 0u);
  EXPECT_TRUE(processes().CloseHandle(early));
  EXPECT_EQ(ExitCodeOf(late), 9u);
  EXPECT_TRUE(processes().CloseHandle(late));
}

TEST_F(ProcessesContract, TerminateEndsItWithTheGivenExitCode) {
  const Handle handle = Start("sleep 60000", kProcessAllAccess);
  EXPECT_EQ(ExitCodeOf(handle), kStillActive);
  EXPECT_TRUE(processes().TerminateProcess(handle, 7));
  WaitForEnd(handle);
  EXPECT_EQ(ExitCodeOf(handle), 7u);
  // What has ended cannot be ended again.
  EXPECT_FALSE(processes().TerminateProcess(handle, 0));
  EXPECT_TRUE(processes().CloseHandle(handle));
}

TEST_F(ProcessesContract, WaitOnAHandleThatIsNoneLetsTheTimePass) {
  bool ended = true;
  const long long waited = MillisecondsOf([&] { ended = processes().WaitForProcess(0x4242, 200); });
  EXPECT_FALSE(ended);
  // Not an early wake-up (the system's timer may round a little).
  EXPECT_GE(waited, 150);
  EXPECT_FALSE(processes().TerminateProcess(0x4242, 0));
  EXPECT_EQ(processes().OpenProcess(kProcessAllAccess, false, 0), 0u);
}

TEST_F(ProcessesContract, MissingProgramIsFileNotFound) {
  for (const std::string& commandLine :
       {std::string("ravlin-no-such-program.exe /s \"x.reg\""),
        "\"" + PathOf("no such folder\\tool.exe") + "\" /s", PathOf("tool.exe")}) {
    SCOPED_TRACE(commandLine);
    try {
      processes().StartProcess(commandLine, kHidden);
      ADD_FAILURE() << "started a program that does not exist";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.Number(), vb_error::kFileNotFound);
      EXPECT_EQ(error.Description(), "File not found");
    }
  }
  EXPECT_THROW(processes().StartProcess("", kHidden), RuntimeError);
}

// Names in any language arrive intact, as a Greek or Russian XP has them.
TEST_F(ProcessesContract, ArgumentsArriveAsWindowsSplitsTheCommandLine) {
  const Handle handle = Start("arguments \"" + NativeOf("arguments.txt").string() +
                              R"(" /s "C:\Program Files\x.reg" a\\\"b "" "x y"z Ελληνικά)");
  WaitForEnd(handle);
  EXPECT_EQ(ExitCodeOf(handle), 0u);
  processes().CloseHandle(handle);
  std::ifstream in(NativeOf("arguments.txt"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
            R"(/s|C:\Program Files\x.reg|a\"b||x yz|Ελληνικά|)");
}

TEST_F(ProcessesContract, LastErrorLineIsTheLastNonEmptyLineOnceItHasEnded) {
  const Handle handle = Start(R"(line first line "regedit: Δεν εισάγεται x.reg: line 7" )"
                              R"(line "" sleep 500 exit 2)");
  // Nothing while it runs, even what it has already written.
  EXPECT_EQ(processes().LastErrorLine(handle), "");
  WaitForEnd(handle);
  EXPECT_EQ(ExitCodeOf(handle), 2u);
  EXPECT_EQ(processes().LastErrorLine(handle), "regedit: Δεν εισάγεται x.reg: line 7");
  processes().CloseHandle(handle);
  EXPECT_EQ(processes().LastErrorLine(handle), "");

  // A last line without a line break, and a process that wrote none.
  const Handle unbroken = Start(R"(line one text "two, unbroken")");
  const Handle silent = Start("exit 0");
  WaitForEnd(unbroken);
  WaitForEnd(silent);
  EXPECT_EQ(processes().LastErrorLine(unbroken), "two, unbroken");
  EXPECT_EQ(processes().LastErrorLine(silent), "");
  processes().CloseHandle(unbroken);
  processes().CloseHandle(silent);
}

}  // namespace
}  // namespace ravlin::testing

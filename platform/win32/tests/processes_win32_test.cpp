// The Windows process and window services against the system's own programs: the
// registry editor that the repair starts and ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/win32/processes/win32_processes.hpp"
#include "platform/win32/runtime/win32_handles.hpp"

namespace ravlin {
namespace {

constexpr const wchar_t* kTestKey = L"Software\\Ravlin process test";

std::filesystem::path ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::wstring(path, length)).parent_path();
}

// A fresh folder below the temporary folder, removed with the test.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("ravlin-win32-processes-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(::GetTickCount()))) {
    std::filesystem::create_directories(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The test key's string value `name`, or nothing.
std::optional<std::wstring> TestValue(const wchar_t* name) {
  wchar_t data[256];
  DWORD size = sizeof data;
  DWORD type = 0;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  const LONG result =
      ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::wstring(data, size / sizeof(wchar_t) - 1);
}

// Ends a process however the test ends, so that no editor window stays for the next one.
class EndedAtExit {
 public:
  explicit EndedAtExit(std::uint32_t processId)
      : process_(::OpenProcess(PROCESS_TERMINATE, FALSE, processId)) {}
  EndedAtExit(const EndedAtExit&) = delete;
  EndedAtExit& operator=(const EndedAtExit&) = delete;
  ~EndedAtExit() {
    if (process_.Valid()) ::TerminateProcess(process_.Get(), 1);
  }

 private:
  UniqueHandle process_;
};

class Win32ProcessesTest : public ::testing::Test {
 protected:
  void TearDown() override { ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey); }

  std::uint32_t ExitCodeOf(Handle handle) {
    std::uint32_t code = 12345;
    EXPECT_TRUE(processes.GetExitCodeProcess(handle, code));
    return code;
  }

  ScratchFolder scratch;
  Win32Processes processes{ProgramFolder()};
};

TEST_F(Win32ProcessesTest, SystemRegistryEditorImportsAFileAndIsWaitedFor) {
  const auto file = scratch.path() / "import me.reg";
  std::ofstream(file, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ravlin "
                                           "process test]\r\n\"Imported\"=\"by regedit\"\r\n";
  ASSERT_FALSE(TestValue(L"Imported"));

  // Found by the system's search (the Windows folder), as the repair starts it.
  const std::uint32_t pid =
      processes.StartProcess("regedit.exe /s \"" + file.string() + "\"", SW_HIDE);
  const Handle handle = processes.OpenProcess(kProcessQueryInformation, false, pid);
  ASSERT_NE(handle, 0u);
  ASSERT_TRUE(processes.WaitForProcess(handle, 60000));
  EXPECT_EQ(ExitCodeOf(handle), 0u);
  EXPECT_EQ(processes.LastErrorLine(handle), "");
  EXPECT_TRUE(processes.CloseHandle(handle));
  EXPECT_EQ(TestValue(L"Imported"), L"by regedit");
}

// A regedit.exe planted in the program folder (a download folder) never runs in its place:
// the repair runs elevated. Other programs are still found there first.
TEST_F(Win32ProcessesTest, RegistryEditorIsTheSystemsOwnWhateverLiesBesideTheProgram) {
  const auto planted = scratch.path() / "program";
  std::filesystem::create_directories(planted);
  for (const char* name : {"regedit.exe", "tool.exe"}) {
    std::filesystem::remove(planted / name);
    std::filesystem::copy_file(ProgramFolder() / "child_program.exe", planted / name);
  }
  Win32Processes fromDownloads{planted};
  const auto file = scratch.path() / "planted.reg";
  std::ofstream(file, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ravlin "
                                           "process test]\r\n\"Imported\"=\"by the system\"\r\n";
  for (const char* name : {"regedit.exe", "REGEDIT", "Regedit.Exe"}) {
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
    const std::uint32_t pid =
        fromDownloads.StartProcess(std::string(name) + " /s \"" + file.string() + "\"", SW_HIDE);
    const Handle handle = fromDownloads.OpenProcess(kProcessQueryInformation, false, pid);
    ASSERT_NE(handle, 0u) << name;
    ASSERT_TRUE(fromDownloads.WaitForProcess(handle, 60000)) << name;
    std::uint32_t code = 12345;
    EXPECT_TRUE(fromDownloads.GetExitCodeProcess(handle, code));
    EXPECT_EQ(code, 0u) << name;
    EXPECT_TRUE(fromDownloads.CloseHandle(handle));
    EXPECT_EQ(TestValue(L"Imported"), L"by the system") << name << " ran the planted program";
  }
  // The child program ends with the status its words ask for; the system has no "tool".
  const std::uint32_t pid = fromDownloads.StartProcess("tool exit 7", SW_HIDE);
  const Handle handle = fromDownloads.OpenProcess(kProcessQueryInformation, false, pid);
  ASSERT_TRUE(fromDownloads.WaitForProcess(handle, 60000));
  std::uint32_t code = 0;
  EXPECT_TRUE(fromDownloads.GetExitCodeProcess(handle, code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(fromDownloads.CloseHandle(handle));
}

TEST_F(Win32ProcessesTest, RegistryEditorWindowLeadsToItsProcessWhichCanBeEnded) {
  Win32TopLevelWindows windows;
  std::uint32_t processId = 99;
  EXPECT_EQ(windows.GetWindowThreadProcessId(0, processId), 0u);
  EXPECT_EQ(processId, 0u);
  ASSERT_EQ(windows.FindWindowA("", "Registry Editor"), 0u) << "an editor is already open";

  const std::uint32_t editor = processes.StartProcess("regedit.exe", SW_SHOWMINNOACTIVE);
  const EndedAtExit ended(editor);
  const Handle started = processes.OpenProcess(kProcessQueryInformation, false, editor);
  ASSERT_NE(started, 0u);
  // The window comes some moments after the start; an editor that ends first has none.
  Handle window = 0;
  for (int tries = 0; window == 0 && tries < 500 && !processes.WaitForProcess(started, 20); ++tries)
    window = windows.FindWindowA("", "Registry Editor");
  std::uint32_t editorExit = 0;
  processes.GetExitCodeProcess(started, editorExit);
  EXPECT_TRUE(processes.CloseHandle(started));
  ASSERT_NE(window, 0u) << "editor exit code " << editorExit;
  EXPECT_NE(windows.GetWindowThreadProcessId(window, processId), 0u);
  EXPECT_EQ(processId, editor);
  EXPECT_EQ(windows.FindWindowA("RegEdit_RegEdit", "Registry Editor"), window);
  // By its class alone, whatever language its title is in.
  EXPECT_EQ(windows.FindWindowA("RegEdit_RegEdit", ""), window);
  EXPECT_EQ(windows.FindWindowA("", ""), 0u);
  EXPECT_EQ(windows.FindWindowA("Notepad", "Registry Editor"), 0u);

  // The repair's way of ending it: any access it asks for, then the end.
  const Handle process = processes.OpenProcess(kProcessAllAccess, false, processId);
  ASSERT_NE(process, 0u);
  EXPECT_TRUE(processes.TerminateProcess(process, 0));
  EXPECT_TRUE(processes.WaitForProcess(process, 60000));
  EXPECT_TRUE(processes.CloseHandle(process));
  EXPECT_EQ(windows.FindWindowA("", "Registry Editor"), 0u);
}

TEST_F(Win32ProcessesTest, ProcessStartedElsewhereIsWatchedWithQueryAccessAlone) {
  std::wstring commandLine = L"child_program.exe sleep 60000";
  const std::wstring program = (ProgramFolder() / "child_program.exe").wstring();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &started));
  const UniqueHandle own(started.hProcess), thread(started.hThread);

  const Handle handle = processes.OpenProcess(kProcessQueryInformation, false, started.dwProcessId);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(ExitCodeOf(handle), kStillActive);
  EXPECT_FALSE(processes.WaitForProcess(handle, 50));
  ::TerminateProcess(own.Get(), 4);
  EXPECT_TRUE(processes.WaitForProcess(handle, 60000));
  EXPECT_EQ(ExitCodeOf(handle), 4u);
  EXPECT_EQ(processes.LastErrorLine(handle), "");
  EXPECT_TRUE(processes.CloseHandle(handle));
}

}  // namespace
}  // namespace ravlin

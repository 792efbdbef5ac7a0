// A program without a console of its own (as the window program is, started from a command
// prompt) writes to the console of the process that started it.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/win32/runtime/win32_handles.hpp"

namespace ravlin {
namespace {

UniqueHandle OpenScreen() {
  return UniqueHandle(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
}

// The console's text from `rows` lines above the cursor down to the cursor's line.
std::wstring TextAboveCursor(HANDLE screen, SHORT rows) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(screen, &info)) return {};
  const SHORT top = info.dwCursorPosition.Y > rows ? info.dwCursorPosition.Y - rows : 0;
  const DWORD length = static_cast<DWORD>(info.dwSize.X) * (info.dwCursorPosition.Y - top + 1);
  std::wstring text(length, L' ');
  DWORD read = 0;
  ::ReadConsoleOutputCharacterW(screen, text.data(), length, COORD{0, top}, &read);
  text.resize(read);
  return text;
}

TEST(Win32Console, ProgramWithoutAConsoleWritesToTheConsoleItWasStartedFrom) {
  // The test's own console, or a new one when it has none with a screen to read (Wine gives a
  // program started from a Unix terminal a console without one).
  UniqueHandle screen = OpenScreen();
  if (!screen.Valid()) {
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole());
    screen = OpenScreen();
  }
  ASSERT_TRUE(screen.Valid());

  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring program =
      (std::filesystem::path(std::wstring(self, length)).parent_path() / "child_program.exe")
          .wstring();
  // No console and no standard handles: what it writes can only reach ours by attaching.
  std::wstring commandLine = L"child_program.exe out \"Ελληνικά, attached\" line ignored";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                               DETACHED_PROCESS, nullptr, nullptr, &startup, &started));
  const UniqueHandle process(started.hProcess), thread(started.hThread);
  ASSERT_EQ(::WaitForSingleObject(process.Get(), 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  EXPECT_TRUE(::GetExitCodeProcess(process.Get(), &exitCode));
  EXPECT_EQ(exitCode, 0u);

  const std::wstring text = TextAboveCursor(screen.Get(), 4);
  EXPECT_NE(text.find(L"Ελληνικά, attached"), std::wstring::npos);
  EXPECT_EQ(text.find(L"ignored"), std::wstring::npos) << "standard error was not given";
}

}  // namespace
}  // namespace ravlin

// ravlin.com, the console program beside the window program: a command prompt waits for it
// and takes its exit status, as it does not for the window program.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

fs::path BuildPrograms() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, length)).parent_path().parent_path() / "bin";
}

// What a command line run by the command prompt ("cmd /v:on /c LINE") writes, read from a
// pipe, with the prompt's own exit status.
std::string PromptOutput(const std::wstring& line) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return "(no pipe)";
  const UniqueHandle reader(readEnd);
  UniqueHandle writer(writeEnd);
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::wstring command = L"\"" + (SystemFolder() / L"cmd.exe").wstring() + L"\" /v:on /c " + line;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        BuildPrograms().c_str(), &startup, &started))
    return "(cmd did not start)";
  const UniqueHandle process(started.hProcess), thread(started.hThread);
  writer = UniqueHandle();
  std::string output;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
    output.append(buffer, read);
  ::WaitForSingleObject(process.Get(), 60000);
  return output;
}

TEST(ConsoleProgram, ThePromptWaitsForItAndGetsItsExitStatus) {
  ASSERT_TRUE(fs::exists(BuildPrograms() / "ravlin.com"));
  // A usage error ends with 2, and the prompt sees it once the program has written its text.
  const std::string usage =
      PromptOutput(L"\"ravlin.com --no-such-option & echo status=!ERRORLEVEL!\"");
  EXPECT_NE(usage.find("unknown option: --no-such-option"), std::string::npos) << usage;
  EXPECT_NE(usage.find("status=2"), std::string::npos) << usage;
  EXPECT_LT(usage.find("unknown option"), usage.find("status=")) << usage;
  // Its usage text sends the prompt to the console program, not to "start /wait".
  EXPECT_NE(usage.find("\"ravlin ...\" runs ravlin.com"), std::string::npos) << usage;
  EXPECT_EQ(usage.find("start /wait"), std::string::npos) << usage;

  // Typed without its extension, the name runs the console program.
  const std::string version = PromptOutput(L"\"ravlin --version & echo status=!ERRORLEVEL!\"");
  EXPECT_NE(version.find("Ravlin "), std::string::npos) << version;
  EXPECT_NE(version.find("status=0"), std::string::npos) << version;
  EXPECT_LT(version.find("Ravlin "), version.find("status=")) << version;
}

// The OriginalFilename of a program's version information, as Explorer's Properties show it.
std::wstring OriginalFilename(const fs::path& program) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), &ignored);
  std::vector<char> information(size);
  if (size == 0 || !::GetFileVersionInfoW(program.c_str(), 0, size, information.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(information.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename", &value,
                        &length) ||
      length == 0)
    return {};
  return static_cast<const wchar_t*>(value);
}

TEST(ConsoleProgram, EachProgramsVersionInformationNamesItsOwnFile) {
  EXPECT_EQ(OriginalFilename(BuildPrograms() / "ravlin.exe"), L"ravlin.exe");
  EXPECT_EQ(OriginalFilename(BuildPrograms() / "ravlin.com"), L"ravlin.com");
}

// A guest named in the long-path form is the same folder by its drive path.
TEST(ConsoleProgram, ALongPathGuestIsNamedByItsDrivePath) {
  const fs::path guest =
      fs::temp_directory_path() / ("ravlin-long-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(guest / "system32" / "config");
  const std::string output = PromptOutput(L"\"ravlin --console --guest \\\\?\\" + guest.wstring() +
                                          L" --yes & echo status=!ERRORLEVEL!\"");
  const std::string hive = Narrow(guest.wstring()) + "\\system32\\config\\system";
  EXPECT_NE(output.find("Cannot find SYSTEM hive:"), std::string::npos) << output;
  EXPECT_NE(output.find(hive), std::string::npos) << output;
  // Not taken for a folder "?" of the current drive ("Z:\?\C:\...").
  EXPECT_EQ(output.find(":\\?\\"), std::string::npos) << output;
  EXPECT_NE(output.find("status=1"), std::string::npos) << output;
  std::error_code ignored;
  fs::remove_all(guest, ignored);
}

// A guest on the network is refused with the reason and a non-zero status, never taken for a
// folder of the current drive.
TEST(ConsoleProgram, ANetworkGuestIsRefusedWithItsReason) {
  for (const std::wstring guest : {L"\\\\server\\share\\WINDOWS", L"//server/share/WINDOWS",
                                   L"\\\\?\\UNC\\server\\share\\WINDOWS"}) {
    const std::string output = PromptOutput(L"\"ravlin --console --guest " + guest +
                                            L" --yes & echo status=!ERRORLEVEL!\"");
    EXPECT_NE(output.find(Narrow(guest) + " is on the network."), std::string::npos) << output;
    EXPECT_NE(output.find("net use"), std::string::npos) << output;
    EXPECT_EQ(output.find("Cannot find SYSTEM hive"), std::string::npos) << output;
    EXPECT_EQ(output.find(":\\server\\share"), std::string::npos) << output;
    EXPECT_NE(output.find("status=1"), std::string::npos) << output;
  }
}

}  // namespace
}  // namespace ravlin

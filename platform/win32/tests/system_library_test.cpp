// The DLLs the program loads at run time come from the system folder alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/win32/runtime/system_library.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}

// The current folder for as long as it lives.
class CurrentFolder {
 public:
  explicit CurrentFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;
  ~CurrentFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

TEST(SystemLibraryTest, LoadsOnlyFromTheSystemFolder) {
  const fs::path system = SystemFolder();
  ASSERT_FALSE(system.empty());
  ASSERT_TRUE(fs::is_regular_file(system / "winmm.dll"));
  const fs::path windows = WindowsFolder();
  ASSERT_FALSE(windows.empty());
  EXPECT_EQ(LowerCase(system.parent_path().wstring()), LowerCase(windows.wstring()));

  {
    const SystemLibrary winmm(L"winmm.dll");
    ASSERT_TRUE(winmm.Loaded());
    using TimeGetTimeCall = DWORD(WINAPI*)();
    const auto timeGetTime = winmm.Find<TimeGetTimeCall>("timeGetTime");
    ASSERT_NE(timeGetTime, nullptr);
    EXPECT_EQ(winmm.Find<TimeGetTimeCall>("NoSuchFunction"), nullptr);
    wchar_t loadedFrom[MAX_PATH];
    const HMODULE module = ::GetModuleHandleW(L"winmm.dll");
    ASSERT_NE(module, nullptr);
    const DWORD length = ::GetModuleFileNameW(module, loadedFrom, MAX_PATH);
    EXPECT_EQ(LowerCase(fs::path(std::wstring(loadedFrom, length)).parent_path().wstring()),
              LowerCase(system.wstring()));
  }

  // A DLL that lies only in the current folder (a download folder) is not taken, though the
  // usual search would load it.
  const fs::path folder =
      fs::temp_directory_path() / ("ravlin-dll-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(folder);
  fs::copy_file(system / "winmm.dll", folder / "ravlinplanted.dll",
                fs::copy_options::overwrite_existing);
  {
    const CurrentFolder inDownloads(folder);
    const SystemLibrary planted(L"ravlinplanted.dll");
    EXPECT_FALSE(planted.Loaded());
    EXPECT_EQ(planted.Find<FARPROC>("timeGetTime"), nullptr);
    const HMODULE usual = ::LoadLibraryW(L"ravlinplanted.dll");
    EXPECT_NE(usual, nullptr) << "the planted DLL cannot be loaded at all";
    if (usual != nullptr) ::FreeLibrary(usual);
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace
}  // namespace ravlin

// The running system's own Windows folder is recognised by the identity of its files, however
// the folder is spelt.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/runtime/win32_environment.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

// The Linux path of a Windows path under Wine (its kernel32 says), with backslashes; nothing
// elsewhere.
std::optional<std::wstring> WineUnixName(const std::wstring& path) {
  using UnixNameCall = char*(CDECL*)(LPCWSTR);
  const auto unixName = reinterpret_cast<UnixNameCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return std::nullopt;
  char* name = unixName(path.c_str());
  if (name == nullptr) return std::nullopt;
  std::wstring text = Wide(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  for (wchar_t& c : text)
    if (c == L'/') c = L'\\';
  return text;
}

TEST(RunningWindowsFolder, EverySpellingIsTheRunningSystemsAndNoLookAlikeIs) {
  Win32Environment environment({});
  const std::wstring windows = WindowsFolder().wstring();
  ASSERT_GE(windows.size(), 4u);
  std::wstring upper = windows;
  for (wchar_t& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  std::wstring slashes = windows;
  for (wchar_t& c : slashes)
    if (c == L'\\') c = L'/';
  // Under Wine the same folder also has a drive-Z: spelling, through the Linux root.
  std::vector<std::wstring> spellings{windows,
                                      windows + L"\\",
                                      upper,
                                      upper + L"\\\\",
                                      slashes,
                                      L"\\\\?\\" + windows,
                                      windows + L"\\system32\\.."};
  if (const auto unixName = WineUnixName(windows)) spellings.push_back(L"Z:" + *unixName);
  for (const std::wstring& spelling : spellings) {
    EXPECT_TRUE(environment.IsRunningSystemsWindowsFolder(Narrow(spelling))) << Narrow(spelling);
  }

  // Not by its name: a folder named in "windir" is still a guest.
  const fs::path guest =
      fs::temp_directory_path() / ("ravlin-guest-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(guest / "system32" / "config");
  fs::copy_file(fs::path(windows) / "win.ini", guest / "system32" / "config" / "system",
                fs::copy_options::overwrite_existing);
  ::SetEnvironmentVariableW(L"windir", guest.wstring().c_str());
  EXPECT_FALSE(environment.IsRunningSystemsWindowsFolder(Narrow(guest.wstring())));
  ::SetEnvironmentVariableW(L"windir", windows.c_str());
  EXPECT_FALSE(environment.IsRunningSystemsWindowsFolder(Narrow(windows + L"\\system32")));
  EXPECT_FALSE(environment.IsRunningSystemsWindowsFolder(Narrow(windows.substr(0, 3))));
  std::error_code ignored;
  fs::remove_all(guest, ignored);
}

}  // namespace
}  // namespace ravlin

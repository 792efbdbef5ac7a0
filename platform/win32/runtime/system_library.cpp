#include "platform/win32/runtime/system_library.hpp"

#include <string>
#include <vector>

namespace ravlin {
namespace {

// A folder that a call of the GetSystemDirectoryW kind writes, however long it is.
template <typename Call>
std::filesystem::path FolderFrom(Call call) {
  std::vector<wchar_t> name(MAX_PATH + 1);
  for (;;) {
    const UINT length = call(name.data(), static_cast<UINT>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) return std::wstring(name.data(), length);
    name.resize(length + 1);
  }
}

}  // namespace

std::filesystem::path SystemFolder() {
  return FolderFrom(::GetSystemDirectoryW);
}

std::filesystem::path WindowsFolder() {
  // The system's own folder: in a Terminal Server session GetWindowsDirectoryW may name a
  // per-user folder, which holds no system program.
  using FolderCall = UINT(WINAPI*)(LPWSTR, UINT);
  const auto systemWindowsDirectory = reinterpret_cast<FolderCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemWindowsDirectoryW")));
  if (systemWindowsDirectory != nullptr) return FolderFrom(systemWindowsDirectory);
  return FolderFrom(::GetWindowsDirectoryW);
}

void KeepCurrentFolderOutOfDllSearch() {
  using SetDllDirectoryCall = BOOL(WINAPI*)(LPCWSTR);
  const auto setDllDirectory = reinterpret_cast<SetDllDirectoryCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDllDirectoryW")));
  if (setDllDirectory != nullptr) setDllDirectory(L"");
}

SystemLibrary::SystemLibrary(const wchar_t* fileName) {
  const std::filesystem::path folder = SystemFolder();
  if (folder.empty()) return;
  module_ = ::LoadLibraryExW((folder / fileName).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) ::FreeLibrary(module_);
}

}  // namespace ravlin

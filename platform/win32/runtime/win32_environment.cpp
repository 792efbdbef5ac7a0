#include "platform/win32/runtime/win32_environment.hpp"

#include <vector>

#include "platform/win32/runtime/windows_api.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {

std::filesystem::path ExecutableFolder() {
  std::vector<wchar_t> name(MAX_PATH + 1);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    // A name that fills the buffer may have been cut short.
    if (length < name.size())
      return std::filesystem::path(std::wstring(name.data(), length)).parent_path();
    name.resize(name.size() * 2);
  }
}

Win32Environment::Win32Environment(std::filesystem::path programFolder)
    : programFolder_(programFolder.empty() ? ExecutableFolder() : std::move(programFolder)) {}

std::optional<std::string> Win32Environment::GetEnvironmentVariable(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) return std::nullopt;
  const std::wstring wideName = Wide(name);
  std::vector<wchar_t> value(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length =
        ::GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
    // 0 is an unset variable, or a variable set to nothing.
    if (length == 0)
      return ::GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::string>("");
    if (length < value.size()) return Narrow(std::wstring_view(value.data(), length));
    value.resize(length + 1);
  }
}

std::string Win32Environment::ProgramFolder() {
  std::wstring folder = programFolder_.wstring();
  for (wchar_t& c : folder)
    if (c == L'/') c = L'\\';
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return Narrow(folder);
}

}  // namespace ravlin

#include "platform/win32/runtime/win32_environment.hpp"

#include <array>
#include <vector>

#include "platform/registry.hpp"
#include "platform/status_advice.hpp"
#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/runtime/windows_api.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// The steps that differ on Windows.
constexpr std::array<StatusAdviceLine, 6> kWindowsAdvice{{
    {kErrorAccessDenied,
     "access denied: another program holds the hive open, a file in the guest has the "
     "read-only attribute, or Ravlin lacks the rights to change the guest. Close registry "
     "editors, clear the attribute in the file's Properties, and start Ravlin as "
     "administrator (right-click, \"Run as administrator\")."},
    {kErrorWriteProtect,
     "the guest's disk is write-protected: a switch on the disk or card, a read-only medium, "
     "or a volume or disk marked read-only (on Vista and later, diskpart's \"attributes volume "
     "clear readonly\"). "
     "Make it writable, then try again."},
    {kErrorSharingViolation,
     "the file is held open by another program, often an antivirus scanner or a backup "
     "program; Ravlin waited a few seconds for it. Close that program or pause its scanning, "
     "then try again."},
    {kErrorDiskFull, "the disk is full. Free space on the guest's volume, then try again."},
    {kErrorPrivilegeNotHeld,
     "Ravlin lacks the backup and restore privileges that loading a hive needs. Start it as "
     "administrator (right-click, \"Run as administrator\")."},
    {kErrorFileInvalid,
     "the guest's hive changed on disk while Ravlin had it loaded (another program wrote "
     "it). Check the guest, then run the repair again."},
}};

// Both paths name one existing file or folder.
bool SameFile(const std::wstring& a, const std::wstring& b) {
  const auto first = IdentityOf(a);
  const auto second = IdentityOf(b);
  return first && second && *first == *second;
}

}  // namespace

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

std::string Win32Environment::StatusAdvice(std::int32_t status) {
  return AdviceFor(kWindowsAdvice, status);
}

bool Win32Environment::IsRunningSystemsWindowsFolder(const std::string& folder) {
  const std::filesystem::path running = WindowsFolder();
  if (running.empty() || folder.empty()) return false;
  const std::wstring chosen = Wide(folder);
  const std::wstring hive = L"\\system32\\config\\system";
  // Every spelling of the folder (case, a final backslash, 8.3 names, a subst drive, a
  // mounted folder, the long-path form) reaches the same hive file. Where the running system
  // keeps no hive file there, the folders themselves are compared.
  if (SameFile(chosen + hive, running.wstring() + hive)) return true;
  return SameFile(chosen, running.wstring());
}

}  // namespace ravlin

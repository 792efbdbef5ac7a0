#include "platform/win32/files/win32_temp_files.hpp"

#include "platform/runtime_error.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {

Win32TempFiles::Win32TempFiles(std::shared_ptr<Win32GuestRoot> guest) : guest_(std::move(guest)) {}

std::uint32_t Win32TempFiles::GetTempPathA(std::uint32_t bufferLength, std::string& buffer) {
  wchar_t path[MAX_PATH + 2] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH + 1) return 0;
  std::string folder = Narrow(std::wstring_view(path, length));
  if (folder.empty()) return 0;
  if (folder.back() != '\\') folder += '\\';
  const auto size = static_cast<std::uint32_t>(folder.size());
  // As the system does, a buffer that is too small stays untouched and the size it needs
  // (in bytes of the program's text) comes back.
  if (size + 1 > bufferLength) return size + 1;
  buffer = folder;
  return size;
}

std::uint32_t Win32TempFiles::GetTempFileNameA(const std::string& folder, const std::string& prefix,
                                               std::uint32_t unique, std::string& buffer) {
  if (unique == 0) {
    // The new file is created; below the guest folder only in a plain folder reached through
    // plain folders.
    try {
      guest_->CheckChange(folder, true);
    } catch (const RuntimeError&) {
      return 0;
    }
  }
  wchar_t name[MAX_PATH + 1] = {};
  const UINT number = ::GetTempFileNameW(Wide(folder).c_str(), Wide(prefix).c_str(), unique, name);
  if (number == 0) return 0;
  buffer = Narrow(name);
  return number;
}

}  // namespace ravlin

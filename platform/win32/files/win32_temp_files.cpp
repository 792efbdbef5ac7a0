#include "platform/win32/files/win32_temp_files.hpp"

#include <filesystem>
#include <system_error>

#include "platform/runtime_error.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

class OpenTempFile : public TempHold {
 public:
  explicit OpenTempFile(HANDLE file) : file_(file) {}

 private:
  UniqueHandle file_;
};

// The temporary folder with its trailing backslash, "" when the system names none.
std::wstring TempFolder() {
  wchar_t path[MAX_PATH + 2] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH + 1) return {};
  return std::wstring(path, length);
}

}  // namespace

Win32TempFiles::Win32TempFiles(std::shared_ptr<Win32GuestRoot> guest) : guest_(std::move(guest)) {}

std::uint32_t Win32TempFiles::GetTempPathA(std::uint32_t bufferLength, std::string& buffer) {
  std::string folder = Narrow(TempFolder());
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

std::unique_ptr<TempHold> Win32TempFiles::HoldTempFile(const std::string& path) {
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<OpenTempFile>(file);
}

void Win32TempFiles::RemoveUnheldScratch(const std::string& prefix) {
  const std::wstring folder = TempFolder();
  if (folder.empty()) return;
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      ::FindFirstFileW((folder + Wide(prefix.substr(0, 3)) + L"*.TMP").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring reservation = folder + found.cFileName;
    const std::wstring scratch = reservation + L".d";
    const DWORD attributes = ::GetFileAttributesW(scratch.c_str());
    // Only a real folder beside it; the reservation can be deleted only while no one holds it.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !::DeleteFileW(reservation.c_str()))
      continue;
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(scratch), error);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

}  // namespace ravlin

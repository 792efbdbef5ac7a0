#include "platform/win32/files/win32_drives.hpp"

#include <optional>
#include <string_view>

#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {

std::uint32_t Win32Drives::GetLogicalDriveStringsA(std::uint32_t bufferLength,
                                                   std::string& buffer) {
  std::wstring roots(128, L'\0');
  DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(roots.size()), roots.data());
  if (length >= roots.size()) {
    roots.assign(length + 1, L'\0');
    length = ::GetLogicalDriveStringsW(static_cast<DWORD>(roots.size()), roots.data());
  }
  if (length == 0 || length >= roots.size()) return 0;
  roots.resize(length);
  const std::string text = Narrow(roots);
  const auto size = static_cast<std::uint32_t>(text.size());
  // Too small a buffer is left untouched; the answer is the size needed with the final NUL.
  if (size + 1 > bufferLength) return size + 1;
  const std::string terminated = text + '\0';
  if (buffer.size() < terminated.size()) buffer.resize(terminated.size());
  buffer.replace(0, terminated.size(), terminated);
  return size;
}

namespace {

// The long-path form names a drive path too: "\\?\C:\x" is "C:\x". The program works on
// drive-letter paths; a network path ("\\server\share", "\\?\UNC\...") or a device path has
// none and is refused.
std::optional<std::wstring> WithDriveLetter(const std::wstring& path) {
  constexpr std::wstring_view kLongPathPrefix = L"\\\\?\\";
  std::wstring text = path;
  for (wchar_t& c : text)
    if (c == L'/') c = L'\\';
  // "?" is no name of a folder: "Z:\?\C:\x" is the long-path form after a completion that
  // did not know it took it for a folder of the current drive (Wine's).
  if (text.size() > 5 && text[1] == L':' && text.substr(2, 3) == L"\\?\\")
    text.replace(0, 2, L"\\");
  if (text.starts_with(kLongPathPrefix)) {
    text.erase(0, kLongPathPrefix.size());
    if (text.size() < 2 || text[1] != L':') return std::nullopt;
  }
  if (text.starts_with(L"\\\\")) return std::nullopt;
  return text;
}

}  // namespace

std::string Win32Drives::ToDrivePath(const std::filesystem::path& native) {
  const auto withLetter = WithDriveLetter(native.wstring());
  if (!withLetter) return {};
  try {
    std::wstring full = FullPath(Narrow(*withLetter));
    if (full.size() < 3 || full[1] != L':' || full[2] != L'\\') return {};
    // A folder's drive path ends without a backslash, as on Linux; only a root keeps its own.
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return WithCapitalDrive(Narrow(full));
  } catch (const RuntimeError&) {
    return {};
  }
}

std::optional<std::filesystem::path> Win32Drives::ToNativePath(const std::string& drivePath) {
  if (drivePath.size() < 2 || drivePath[1] != ':') return std::nullopt;
  const char letter = WithCapitalDrive(drivePath)[0];
  if (letter < 'A' || letter > 'Z' || (::GetLogicalDrives() & (1u << (letter - 'A'))) == 0)
    return std::nullopt;
  try {
    return std::filesystem::path(FullPath(drivePath));
  } catch (const RuntimeError&) {
    return std::nullopt;
  }
}

}  // namespace ravlin

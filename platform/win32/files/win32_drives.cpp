#include "platform/win32/files/win32_drives.hpp"

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

std::string Win32Drives::ToDrivePath(const std::filesystem::path& native) {
  try {
    return WithCapitalDrive(Narrow(FullPath(Narrow(native.wstring()))));
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

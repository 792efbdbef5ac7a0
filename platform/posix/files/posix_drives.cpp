#include "platform/posix/files/posix_drives.hpp"

#include <utility>

namespace ravlin {

PosixDrives::PosixDrives(std::shared_ptr<const DriveTable> drives) : drives_(std::move(drives)) {}

std::uint32_t PosixDrives::GetLogicalDriveStringsA(std::uint32_t bufferLength,
                                                   std::string& buffer) {
  // Every mapped letter is present, ready or not, as a drive without medium is on Windows.
  std::string roots;
  for (char letter : drives_->Letters()) {
    roots += letter;
    roots += ":\\";
    roots += '\0';
  }
  const auto length = static_cast<std::uint32_t>(roots.size());
  // Too small a buffer is left untouched; the answer is the size needed with the final NUL.
  if (length + 1 > bufferLength) return length + 1;
  roots += '\0';
  if (buffer.size() < roots.size()) buffer.resize(roots.size());
  buffer.replace(0, roots.size(), roots);
  return length;
}

std::string PosixDrives::ToDrivePath(const std::filesystem::path& native) {
  return drives_->ToWindows(native);
}

std::optional<std::filesystem::path> PosixDrives::ToNativePath(const std::string& drivePath) {
  return drives_->ToNative(drivePath);
}

}  // namespace ravlin

#include "platform/posix/files/posix_temp_files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace ravlin {
namespace {

// Windows' path buffers hold 260 characters with the final NUL.
constexpr std::size_t kMaxPath = 260;
constexpr std::uint32_t kNumberRange = 0x10000;

std::string NameFor(const std::string& folder, const std::string& prefix, std::uint32_t number) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  char digits[8];
  std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(number & 0xFFFF));
  return path + prefix.substr(0, 3) + digits + ".TMP";
}

}  // namespace

PosixTempFiles::PosixTempFiles(std::shared_ptr<const DriveTable> drives,
                               std::shared_ptr<GuestRoot> guest)
    : drives_(std::move(drives)),
      guest_(std::move(guest)),
      nextNumber_(
          static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
}

std::uint32_t PosixTempFiles::GetTempPathA(std::uint32_t bufferLength, std::string& buffer) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string folder = drives_->ToWindows((tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp");
  if (folder.empty()) return 0;
  if (folder.back() != '\\') folder += '\\';
  const auto length = static_cast<std::uint32_t>(folder.size());
  // As on Windows, a buffer that is too small stays untouched and the size it needs comes back.
  if (length + 1 > bufferLength) return length + 1;
  buffer = folder;
  return length;
}

std::uint32_t PosixTempFiles::GetTempFileNameA(const std::string& folder, const std::string& prefix,
                                               std::uint32_t unique, std::string& buffer) {
  if (unique != 0) {
    const std::string name = NameFor(folder, prefix, unique);
    if (name.size() >= kMaxPath) return 0;
    buffer = name;
    return unique & 0xFFFF;
  }
  for (std::uint32_t attempt = 0; attempt < kNumberRange; ++attempt) {
    const std::uint32_t number = (nextNumber_++ % (kNumberRange - 1)) + 1;
    const std::string name = NameFor(folder, prefix, number);
    if (name.size() >= kMaxPath) return 0;
    const auto native = drives_->ResolveNative(name);
    if (!native) return 0;
    if (const int error = guest_->Open(*native, O_WRONLY | O_CREAT | O_EXCL, 0666).error;
        error != 0) {
      if (error != EEXIST) return 0;
      continue;
    }
    buffer = name;
    return number;
  }
  return 0;
}

}  // namespace ravlin

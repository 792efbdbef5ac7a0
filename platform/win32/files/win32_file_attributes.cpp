#include "platform/win32/files/win32_file_attributes.hpp"

#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/win32_errors.hpp"

namespace ravlin {
namespace {

// The bits the classic runtime reports and sets: read-only, hidden, system, directory,
// archive.
constexpr DWORD kReported = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                            FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Wildcards name no single entry; the system refuses them in these calls.
void RefuseWildcards(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kBadFileNameOrNumber);
}

}  // namespace

Win32FileAttributes::Win32FileAttributes(std::shared_ptr<Win32GuestRoot> guest)
    : guest_(std::move(guest)) {}

std::uint16_t Win32FileAttributes::GetAttr(const std::string& path) {
  RefuseWildcards(path);
  const auto attributes = AttributesOf(FullPath(path));
  if (!attributes) throw MissingEntryError(vb_error::kFileNotFound);
  return static_cast<std::uint16_t>(*attributes & kReported);
}

void Win32FileAttributes::SetAttr(const std::string& path, std::uint16_t attributes) {
  RefuseWildcards(path);
  const std::wstring full = FullPath(path);
  if (!AttributesOf(full)) throw MissingEntryError(vb_error::kFileNotFound);
  guest_->CheckChange(path, true);
  const DWORD wanted = attributes & kSettable;
  if (!::SetFileAttributesW(full.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted))
    throw MissingEntryError(vb_error::kFileNotFound);
}

void Win32FileAttributes::Kill(const std::string& path) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  DeleteFileBeneath(*guest_, path);
}

}  // namespace ravlin

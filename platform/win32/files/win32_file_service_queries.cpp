#include "platform/win32/files/win32_file_service.hpp"
#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/win32_errors.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

char UpperLetter(char letter) {
  return (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter;
}

bool DrivePresent(char letter) {
  const char upper = UpperLetter(letter);
  if (upper < 'A' || upper > 'Z') return false;
  return (::GetLogicalDrives() & (1u << (upper - 'A'))) != 0;
}

std::wstring RootOf(char letter) {
  return {static_cast<wchar_t>(UpperLetter(letter)), L':', L'\\'};
}

bool DriveReady(char letter) {
  const QuietDriveErrors quiet;
  return ::GetVolumeInformationW(RootOf(letter).c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                 nullptr, 0) != FALSE;
}

// The letter of a drive text ("C", "C:", "C:\"); 5 for any other text, 68 for a letter
// without drive.
char DriveLetterOrThrow(const std::string& drive) {
  const bool wellFormed = drive.size() == 1 || IsBareDrive(drive);
  if (!wellFormed || drive.size() > 3) throw RuntimeError(vb_error::kInvalidProcedureCall);
  if (!DrivePresent(drive[0])) throw RuntimeError(vb_error::kDeviceUnavailable);
  return drive[0];
}

// A file that a plain directory search lists: no folder, not hidden, not system.
bool IsNormalFile(const WIN32_FIND_DATAW& found) {
  return (found.dwFileAttributes &
          (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

}  // namespace

std::int32_t ToolkitDriveType(char letter) {
  if (!DrivePresent(letter)) return drive_type::kUnknown;
  switch (::GetDriveTypeW(RootOf(letter).c_str())) {
    case DRIVE_REMOVABLE:
      return drive_type::kRemovable;
    case DRIVE_FIXED:
      return drive_type::kFixed;
    case DRIVE_REMOTE:
      return drive_type::kNetwork;
    case DRIVE_CDROM:
      return drive_type::kCdRom;
    case DRIVE_RAMDISK:
      return drive_type::kRamDisk;
    default:
      return drive_type::kUnknown;
  }
}

Win32FileService::Win32FileService(std::shared_ptr<Win32GuestRoot> guest)
    : guest_(std::move(guest)) {}

void Win32FileService::ConfineChangesBeneath(const std::string& folder) {
  guest_->Choose(folder);
}

bool Win32FileService::FileExists(const std::string& path) {
  if (path.empty() || HasWildcards(path)) return false;
  const auto attributes = AttributesOf(Wide(path));
  return attributes && !IsFolder(*attributes);
}

PathKind Win32FileService::KindOfEntry(const std::string& path) {
  if (path.empty() || HasWildcards(path)) return PathKind::kMissing;
  guest_->CheckChange(path, false);
  // The attributes of a junction or symbolic link are its own, not its target's.
  const auto attributes = AttributesOf(Wide(path));
  if (!attributes) return PathKind::kMissing;
  if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::kLink;
  if (IsFolder(*attributes)) return PathKind::kFolder;
  return (*attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::kOther : PathKind::kFile;
}

bool Win32FileService::FolderExists(const std::string& path) {
  if (path.empty() || HasWildcards(path)) return false;
  // "C:" alone would name the drive's current folder; here it names the drive.
  if (IsBareDrive(path)) return DrivePresent(path[0]) && DriveReady(path[0]);
  const auto attributes = AttributesOf(Wide(path));
  return attributes && IsFolder(*attributes);
}

bool Win32FileService::DriveExists(const std::string& drive) {
  if (drive.empty() || drive.size() > 3 || (drive.size() > 1 && !IsBareDrive(drive))) return false;
  return DrivePresent(drive[0]);
}

bool Win32FileService::DriveIsReady(const std::string& drive) {
  return DriveReady(DriveLetterOrThrow(drive));
}

std::int32_t Win32FileService::DriveType(const std::string& drive) {
  return ToolkitDriveType(DriveLetterOrThrow(drive));
}

void Win32FileService::CreateFolder(const std::string& path) {
  if (path.empty()) throw RuntimeError(vb_error::kInvalidProcedureCall);
  if (HasWildcards(path)) throw RuntimeError(vb_error::kBadFileName);
  const std::wstring full = FullPath(path);
  if (AttributesOf(full)) throw RuntimeError(vb_error::kFileAlreadyExists);
  const auto parent = AttributesOf(ParentFolder(full));
  if (!parent || !IsFolder(*parent)) throw RuntimeError(vb_error::kPathNotFound);
  guest_->CheckChange(path, true);
  if (!::CreateDirectoryW(full.c_str(), nullptr)) throw ErrorFromLastError(vb_error::kPathNotFound);
}

bool Win32FileService::NormalFileMatches(const std::string& pattern) {
  if (pattern.empty()) return false;
  const auto separator = pattern.find_last_of("\\/:");
  const std::string folder = separator == std::string::npos ? "" : pattern.substr(0, separator);
  if (separator + 1 == pattern.size() || HasWildcards(folder)) return false;
  WIN32_FIND_DATAW found{};
  const FindHandle search(::FindFirstFileW(Wide(pattern).c_str(), &found));
  if (!search.Valid()) return false;
  do {
    if (IsNormalFile(found)) return true;
  } while (::FindNextFileW(search.Get(), &found));
  return false;
}

}  // namespace ravlin

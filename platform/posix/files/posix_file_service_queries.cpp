#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "platform/posix/files/dos_attributes.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/runtime/posix_errors.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// "C:", "C:\": a drive designation with nothing after it.
bool IsBareDrive(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return false;
  for (std::size_t i = 2; i < path.size(); ++i)
    if (!IsSeparator(path[i])) return false;
  return true;
}

// Windows wildcard matching: * any run of characters, ? any one character, letters equal
// ignoring case.
bool WildcardMatch(const std::u16string& name, const std::u16string& pattern) {
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t starPattern = std::u16string::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starPattern = p++;
      starName = n;
    } else if (starPattern != std::u16string::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// As in a DOS directory search, a pattern ending in ".*" also matches names without a dot.
bool NameMatches(const std::string& utf8Name, const std::string& utf8Pattern) {
  const std::u16string name = FoldedName(utf8Name);
  const std::u16string pattern = FoldedName(utf8Pattern);
  if (WildcardMatch(name, pattern)) return true;
  return pattern.size() >= 2 && pattern.ends_with(u".*") &&
         name.find(u'.') == std::u16string::npos && WildcardMatch(name + u'.', pattern);
}

// A file that a plain directory search lists: no folder, not hidden, not system.
bool IsNormalFile(const fs::directory_entry& entry) {
  std::error_code error;
  if (!entry.is_regular_file(error) || error) return false;
  try {
    return (ReadDosAttributes(entry.path()) & (dos_attribute::kHidden | dos_attribute::kSystem)) ==
           0;
  } catch (const RuntimeError&) {
    return false;  // gone since the listing, or unreadable
  }
}

}  // namespace

PosixFileService::PosixFileService(std::shared_ptr<const DriveTable> drives,
                                   std::shared_ptr<GuestRoot> guest)
    : drives_(std::move(drives)), guest_(std::move(guest)) {}

void PosixFileService::ConfineChangesBeneath(const std::string& folder) {
  guest_->Choose(drives_->ResolveNative(folder).value_or(fs::path()));
}

char PosixFileService::DriveLetterOrThrow(const std::string& drive) const {
  const bool wellFormed = drive.size() == 1 || IsBareDrive(drive);
  if (!wellFormed || drive.size() > 3) throw RuntimeError(vb_error::kInvalidProcedureCall);
  if (!drives_->RootOf(drive[0])) throw RuntimeError(vb_error::kDeviceUnavailable);
  return drive[0];
}

bool PosixFileService::FileExists(const std::string& path) {
  if (path.empty() || HasWildcards(path)) return false;
  const auto native = drives_->ResolveNative(path);
  if (!native) return false;
  std::error_code error;
  const auto status = fs::status(*native, error);
  return !error && fs::exists(status) && !fs::is_directory(status);
}

PathKind PosixFileService::KindOfEntry(const std::string& path) {
  if (path.empty() || HasWildcards(path)) return PathKind::kMissing;
  const auto native = drives_->ResolveNative(path);
  if (!native) return PathKind::kMissing;
  const beneath::Entry entry = guest_->EntryOf(*native);
  struct stat status {};
  int error = entry.error;
  if (error == 0 &&
      ::fstatat(entry.folder.get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    error = errno;
  if (error == ENOENT || error == ENOTDIR) return PathKind::kMissing;
  if (error != 0) throw ErrorFromErrno(error);
  if (S_ISLNK(status.st_mode)) return PathKind::kLink;
  if (S_ISREG(status.st_mode)) return PathKind::kFile;
  return S_ISDIR(status.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

bool PosixFileService::FolderExists(const std::string& path) {
  if (path.empty() || HasWildcards(path)) return false;
  if (IsBareDrive(path)) return drives_->RootOf(path[0]) && drives_->IsReady(path[0]);
  const auto native = drives_->ResolveNative(path);
  if (!native) return false;
  std::error_code error;
  return fs::is_directory(*native, error) && !error;
}

bool PosixFileService::DriveExists(const std::string& drive) {
  if (drive.empty() || drive.size() > 3 || (drive.size() > 1 && !IsBareDrive(drive))) return false;
  return drives_->RootOf(drive[0]).has_value();
}

bool PosixFileService::DriveIsReady(const std::string& drive) {
  return drives_->IsReady(DriveLetterOrThrow(drive));
}

std::int32_t PosixFileService::DriveType(const std::string& drive) {
  return drives_->TypeOf(DriveLetterOrThrow(drive));
}

void PosixFileService::CreateFolder(const std::string& path) {
  if (path.empty()) throw RuntimeError(vb_error::kInvalidProcedureCall);
  if (HasWildcards(path)) throw RuntimeError(vb_error::kBadFileName);
  const fs::path native = NativePathOrThrow(*drives_, path);
  std::error_code error;
  if (fs::symlink_status(native, error).type() != fs::file_type::not_found)
    throw RuntimeError(vb_error::kFileAlreadyExists);
  if (!fs::is_directory(native.parent_path(), error)) throw RuntimeError(vb_error::kPathNotFound);
  const beneath::Entry entry = EntryOrThrow(*guest_, native, vb_error::kPathNotFound);
  if (::mkdirat(entry.folder.get(), entry.name.c_str(), 0777) != 0)
    throw ErrorFromErrno(errno, vb_error::kPathNotFound);
}

bool PosixFileService::NormalFileMatches(const std::string& pattern) {
  std::string folderText;
  std::string namePattern;
  const auto separator = pattern.find_last_of("\\/");
  if (separator != std::string::npos) {
    folderText = pattern.substr(0, separator + 1);
    namePattern = pattern.substr(separator + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    folderText = pattern.substr(0, 2);
    namePattern = pattern.substr(2);
  } else {
    folderText = ".";
    namePattern = pattern;
  }
  if (namePattern.empty() || HasWildcards(folderText)) return false;
  const auto folder = drives_->ResolveNative(folderText);
  if (!folder) return false;

  std::error_code error;
  for (fs::directory_iterator it(*folder, error), end; !error && it != end; it.increment(error)) {
    if (IsNormalFile(*it) && NameMatches(it->path().filename().string(), namePattern)) return true;
  }
  return false;
}

}  // namespace ravlin

#include <vector>

#include "platform/win32/files/win32_file_service.hpp"
#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/sharing_retry.hpp"
#include "platform/win32/runtime/win32_errors.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// The file that a copy or move starts from; a folder, a missing file and wildcards are 53.
std::wstring SourceFile(const std::string& source) {
  if (source.empty() || HasWildcards(source)) throw RuntimeError(vb_error::kFileNotFound);
  const std::wstring full = FullPath(source);
  const auto attributes = AttributesOf(full);
  if (!attributes) throw MissingEntryError(vb_error::kFileNotFound);
  if (IsFolder(*attributes)) throw RuntimeError(vb_error::kFileNotFound);
  return full;
}

std::string NameOf(const std::wstring& full) {
  return Narrow(full.substr(full.find_last_of(L'\\') + 1));
}

// Where a copy or move lands, as a path text. A destination ending in a separator is an
// existing folder that receives the file under the source's name; otherwise the destination
// names the file, in an existing folder.
std::string TargetFile(const std::string& destination, const std::wstring& source) {
  if (destination.empty()) throw RuntimeError(vb_error::kInvalidProcedureCall);
  if (HasWildcards(destination)) throw RuntimeError(vb_error::kBadFileName);
  const std::wstring full = FullPath(destination);
  const auto folder = AttributesOf(EndsWithSeparator(destination) ? full : ParentFolder(full));
  if (!folder || !IsFolder(*folder)) throw RuntimeError(vb_error::kPathNotFound);
  return EndsWithSeparator(destination) ? destination + NameOf(source) : destination;
}

// A name beside the target for the copy that takes its place, removed unless it did.
class TemporaryBeside {
 public:
  explicit TemporaryBeside(const std::wstring& target) {
    wchar_t name[MAX_PATH + 1] = {};
    if (!::GetTempFileNameW(ParentFolder(target).c_str(), L"rvl", 0, name))
      throw ErrorFromLastError(vb_error::kPathNotFound);
    path_ = name;
  }
  TemporaryBeside(const TemporaryBeside&) = delete;
  TemporaryBeside& operator=(const TemporaryBeside&) = delete;
  ~TemporaryBeside() {
    if (!path_.empty()) {
      ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(path_.c_str());
    }
  }

  const std::wstring& Path() const { return path_; }
  void MoveTo(const std::wstring& target) {
    if (!SucceededWhileShared([&] {
          return ::MoveFileExW(path_.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        }))
      throw ErrorFromLastError();
    path_.clear();
  }

 private:
  std::wstring path_;
};

// Copies content, attributes and times into a new file beside the target, which then takes
// the target's place in one step: a failure (a full disk) leaves the old target whole.
void CopyContent(const std::wstring& source, const std::wstring& target) {
  TemporaryBeside copy(target);
  if (!SucceededWhileShared(
          [&] { return ::CopyFileW(source.c_str(), copy.Path().c_str(), FALSE); }))
    throw ErrorFromLastError();
  copy.MoveTo(target);
}

// Deletes the folder with everything in it. A junction or link inside is removed itself,
// never entered, so that the deletion cannot leave the tree. `force` also takes read-only
// files and folders; without it they stop the deletion (70). The first failure ends the
// deletion; what was deleted before it stays deleted.
void RemoveTree(const std::wstring& folder, DWORD attributes, bool force) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    if (!force) throw RuntimeError(vb_error::kPermissionDenied);
    if (!::SetFileAttributesW(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
      throw ErrorFromLastError();
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    std::vector<std::pair<std::wstring, DWORD>> entries;
    WIN32_FIND_DATAW found{};
    const FindHandle search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search.Valid()) throw ErrorFromLastError(vb_error::kPathNotFound);
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..")
        entries.emplace_back(folder + L"\\" + name, found.dwFileAttributes);
    } while (::FindNextFileW(search.Get(), &found));
    for (const auto& [entry, entryAttributes] : entries) {
      if (IsFolder(entryAttributes)) {
        RemoveTree(entry, entryAttributes, force);
        continue;
      }
      if ((entryAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        if (!force) throw RuntimeError(vb_error::kPermissionDenied);
        if (!::SetFileAttributesW(entry.c_str(), entryAttributes & ~FILE_ATTRIBUTE_READONLY))
          throw ErrorFromLastError();
      }
      if (!::DeleteFileW(entry.c_str())) throw ErrorFromLastError();
    }
  }
  if (!::RemoveDirectoryW(folder.c_str())) throw ErrorFromLastError(vb_error::kPathNotFound);
}

}  // namespace

void Win32FileService::CopyFile(const std::string& source, const std::string& destination,
                                bool overwrite) {
  const std::wstring from = SourceFile(source);
  const std::string to = TargetFile(destination, from);
  const std::wstring target = FullPath(to);
  guest_->CheckChange(to, true);
  if (const auto existing = AttributesOf(target)) {
    if (IsFolder(*existing)) throw RuntimeError(vb_error::kPermissionDenied);
    if (!overwrite) throw RuntimeError(vb_error::kFileAlreadyExists);
    // A file copied onto itself would be lost; a read-only target is refused as by the system.
    const auto identity = IdentityOf(from);
    if ((*existing & FILE_ATTRIBUTE_READONLY) != 0 || (identity && identity == IdentityOf(target)))
      throw RuntimeError(vb_error::kPermissionDenied);
  }
  CopyContent(from, target);
}

void Win32FileService::MoveFile(const std::string& source, const std::string& destination) {
  const std::wstring from = SourceFile(source);
  const std::string to = TargetFile(destination, from);
  const std::wstring target = FullPath(to);
  guest_->CheckChange(source, false);
  guest_->CheckChange(to, true);
  if (AttributesOf(target)) throw RuntimeError(vb_error::kFileAlreadyExists);
  if (!::MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
    throw ErrorFromLastError();
}

void Win32FileService::DeleteFolder(const std::string& path, bool force) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kPathNotFound);
  std::wstring full = FullPath(path);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  const auto attributes = AttributesOf(full);
  if (!attributes) throw MissingEntryError(vb_error::kPathNotFound);
  if (!IsFolder(*attributes)) throw RuntimeError(vb_error::kPathNotFound);
  // A drive's root is never deleted.
  if (ParentFolder(full) == full) throw RuntimeError(vb_error::kPermissionDenied);
  guest_->CheckChange(path, false);
  RemoveTree(full, *attributes, force);
}

}  // namespace ravlin

#include "platform/win32/files/win32_guest_root.hpp"

#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/win32_errors.hpp"

namespace ravlin {
namespace {

std::wstring WithoutFinalSeparator(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

bool IsReparsePoint(const std::wstring& path) {
  const auto attributes = AttributesOf(path);
  return attributes && (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

void Win32GuestRoot::Choose(const std::string& folder) {
  upperRoot_.clear();
  held_ = UniqueHandle();
  error_ = ERROR_SUCCESS;
  if (folder.empty()) return;
  std::wstring root;
  try {
    root = WithoutFinalSeparator(LongFullPath(folder));
  } catch (const RuntimeError&) {
    error_ = ERROR_PATH_NOT_FOUND;
    return;
  }
  upperRoot_ = UpperCase(root);
  held_ = UniqueHandle(::CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!held_.Valid()) error_ = ::GetLastError();
}

void Win32GuestRoot::CheckChange(const std::string& path, bool entryToo) const {
  if (upperRoot_.empty()) return;
  const std::wstring full = WithoutFinalSeparator(LongFullPath(path));
  const std::wstring upper = UpperCase(full);
  // A drive root keeps its backslash; any other folder gets one, so "C:\\GUEST2" is not below
  // "C:\\GUEST".
  const std::wstring prefix = upperRoot_.back() == L'\\' ? upperRoot_ : upperRoot_ + L'\\';
  if (upper.size() <= prefix.size() || !upper.starts_with(prefix)) return;
  if (error_ != ERROR_SUCCESS)
    throw RuntimeError(ClassicErrorNumber(error_, vb_error::kPathNotFound));
  // Each existing component below the chosen folder, from the top down; a missing one ends
  // the walk, since nothing below it exists to lead anywhere.
  std::size_t at = prefix.size();
  for (;;) {
    const std::size_t next = full.find(L'\\', at);
    if (next == std::wstring::npos) break;
    const std::wstring component = full.substr(0, next);
    const auto attributes = AttributesOf(component);
    if (!attributes) return;
    if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      throw RuntimeError(vb_error::kPathFileAccessError);
    at = next + 1;
  }
  if (entryToo && IsReparsePoint(full)) throw RuntimeError(vb_error::kPathFileAccessError);
}

void DeleteFileBeneath(const Win32GuestRoot& guest, const std::string& path) {
  const std::wstring full = FullPath(path);
  const auto attributes = AttributesOf(full);
  if (!attributes) throw MissingEntryError(vb_error::kFileNotFound);
  if (IsFolder(*attributes)) throw RuntimeError(vb_error::kFileNotFound);
  guest.CheckChange(path, false);
  if (!::DeleteFileW(full.c_str())) throw MissingEntryError(vb_error::kFileNotFound);
}

}  // namespace ravlin

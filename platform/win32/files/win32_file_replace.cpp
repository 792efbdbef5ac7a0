#include "platform/win32/files/win32_file_replace.hpp"

#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/win32_errors.hpp"

namespace ravlin {
namespace {

// Both files must exist as plain files; a folder is no file to replace, and a link would put
// what it leads to in the target's place.
void RequireFile(const std::wstring& path) {
  const auto attributes = AttributesOf(path);
  if (!attributes) throw MissingEntryError(vb_error::kFileNotFound);
  if (IsFolder(*attributes)) throw RuntimeError(vb_error::kFileNotFound);
  if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    throw RuntimeError(vb_error::kPathFileAccessError);
}

}  // namespace

void Win32FileReplacer::ReplaceFile(const std::string& target, const std::string& replacement,
                                    const std::string& keepOldAs) {
  for (const std::string* path : {&target, &replacement, &keepOldAs})
    guest_->CheckChange(*path, true);
  const std::wstring targetPath = FullPath(target);
  const std::wstring replacementPath = FullPath(replacement);
  const std::wstring keptPath = FullPath(keepOldAs);
  RequireFile(targetPath);
  RequireFile(replacementPath);
  // The system would overwrite an existing backup; the old file kept there may be the only
  // good copy left.
  if (AttributesOf(keptPath)) throw RuntimeError(vb_error::kFileAlreadyExists);
  if (::ReplaceFileW(targetPath.c_str(), replacementPath.c_str(), keptPath.c_str(),
                     REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
    return;
  const DWORD error = ::GetLastError();
  // The target went to the backup name but the replacement could not follow it: the
  // target's name is free again, and the old file goes back to it.
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    ::MoveFileExW(keptPath.c_str(), targetPath.c_str(), MOVEFILE_WRITE_THROUGH);
  throw RuntimeError(ClassicErrorNumber(error));
}

}  // namespace ravlin

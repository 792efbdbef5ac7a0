#include <algorithm>

#include "platform/win32/files/win32_file_service.hpp"
#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/win32_errors.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {

void Win32FileService::WriteText(const std::string& path, const std::string& text, bool append) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kBadFileName);
  const std::wstring full = FullPath(path);
  if (const auto attributes = AttributesOf(full); attributes && IsFolder(*attributes))
    throw RuntimeError(vb_error::kPathFileAccessError);
  guest_->CheckChange(path, true);
  // Opened without truncation and emptied afterwards: CREATE_ALWAYS refuses a hidden or
  // system file, which the classic runtime's Output mode rewrites.
  UniqueHandle file(::CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw ErrorFromLastError(vb_error::kPathNotFound);
  const bool placed =
      append ? ::SetFilePointer(file.Get(), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER
             : ::SetEndOfFile(file.Get()) != FALSE;
  if (!placed) throw ErrorFromLastError();
  std::size_t written = 0;
  while (written < text.size()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - written, 1u << 20));
    DWORD count = 0;
    if (!::WriteFile(file.Get(), text.data() + written, chunk, &count, nullptr))
      throw ErrorFromLastError();
    written += count;
  }
  if (!file.Close()) throw ErrorFromLastError();
}

void Win32FileService::DeleteFile(const std::string& path) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kBadFileName);
  DeleteFileBeneath(*guest_, path);
}

}  // namespace ravlin

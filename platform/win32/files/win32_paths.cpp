#include "platform/win32/files/win32_paths.hpp"

#include <vector>

#include "platform/win32/runtime/win32_errors.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Calls a system function that fills a wide buffer and answers with the length it wrote, or
// with the size it needs when the buffer is too small; 0 is a failure.
template <typename Fill>
std::optional<std::wstring> FilledText(Fill fill) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return std::nullopt;
}

}  // namespace

bool HasWildcards(const std::string& path) {
  return path.find_first_of("*?") != std::string::npos;
}

bool IsBareDrive(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return false;
  for (std::size_t i = 2; i < path.size(); ++i)
    if (!IsSeparator(path[i])) return false;
  return true;
}

std::wstring FullPath(const std::string& path) {
  if (path.empty()) throw RuntimeError(vb_error::kPathNotFound);
  const std::wstring wide = Wide(path);
  const auto full = FilledText([&](wchar_t* buffer, DWORD size) {
    return ::GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
  });
  if (!full) throw ErrorFromLastError(vb_error::kPathNotFound);
  return *full;
}

std::wstring LongFullPath(const std::string& path) {
  const std::wstring full = FullPath(path);
  // The longest part that exists takes its long form; the rest does not exist to have one.
  std::size_t end = full.size();
  while (end > 0) {
    const std::wstring head = full.substr(0, end);
    const auto longHead = FilledText([&](wchar_t* buffer, DWORD size) {
      return ::GetLongPathNameW(head.c_str(), buffer, size);
    });
    if (longHead) return *longHead + full.substr(end);
    const auto separator = full.find_last_of(L'\\', end - 1);
    if (separator == std::wstring::npos || separator + 1 >= end) break;
    end = separator;
  }
  return full;
}

std::wstring ParentFolder(std::wstring full) {
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  const auto cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos) return full;
  return full.substr(0, cut == 2 ? 3 : cut);
}

std::optional<DWORD> AttributesOf(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

bool IsFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

RuntimeError MissingEntryError(std::int32_t notFoundNumber) {
  const DWORD error = ::GetLastError();
  if (error == ERROR_PATH_NOT_FOUND) return RuntimeError(notFoundNumber);
  return RuntimeError(ClassicErrorNumber(error, notFoundNumber));
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) return std::nullopt;
  std::string content;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD count = 0;
    if (!::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr))
      return std::nullopt;
    if (count == 0) return content;
    content.append(buffer.data(), count);
  }
}

std::wstring UpperCase(std::wstring text) {
  if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::string WithCapitalDrive(std::string path) {
  if (path.size() >= 2 && path[1] == ':' && path[0] >= 'a' && path[0] <= 'z')
    path[0] = static_cast<char>(path[0] - 'a' + 'A');
  return path;
}

FileTime TimeOf(const FILETIME& time) {
  // FILETIME counts 100 ns from 1601; the system clock counts from 1970.
  constexpr std::int64_t kFrom1601To1970 = 116444736000000000;
  const auto ticks = static_cast<std::int64_t>(SizeOf(time.dwHighDateTime, time.dwLowDateTime));
  const std::chrono::duration<std::int64_t, std::ratio<1, 10000000>> since(ticks - kFrom1601To1970);
  return FileTime(std::chrono::duration_cast<FileTime::duration>(since));
}

std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
  const UniqueHandle file(
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &information)) return std::nullopt;
  return FileIdentity(information.dwVolumeSerialNumber,
                      SizeOf(information.nFileIndexHigh, information.nFileIndexLow));
}

std::uint64_t SizeOf(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace ravlin

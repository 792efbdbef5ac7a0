#include "platform/win32/files/win32_profiles.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};

// Writes `content` into a new file beside `file`, flushed, which then takes its place, so a
// crash leaves the old or the new file.
bool ReplaceContent(const std::wstring& file, const std::string& content) {
  wchar_t temporary[MAX_PATH + 1] = {};
  if (!::GetTempFileNameW(ParentFolder(file).c_str(), L"rvl", 0, temporary)) return false;
  bool written = false;
  {
    UniqueHandle output(::CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD count = 0;
    written = output.Valid() &&
              ::WriteFile(output.Get(), content.data(), static_cast<DWORD>(content.size()), &count,
                          nullptr) &&
              count == content.size() && ::FlushFileBuffers(output.Get()) && output.Close();
  }
  if (written &&
      ::MoveFileExW(temporary, file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  ::DeleteFileW(temporary);
  return false;
}

// The system writes a settings file in the machine's code page, which cannot hold every
// character of the program's texts, unless the file begins with the UTF-16 byte order mark.
// So a file that must hold other than ASCII becomes one: a new file starts as one, an
// existing file is rewritten in UTF-16 from its code page.
bool MakeUnicodeFile(const std::wstring& file) {
  const std::string mark(std::begin(kByteOrderMark), std::end(kByteOrderMark));
  if (!AttributesOf(file)) return ReplaceContent(file, mark);
  const auto content = ReadWholeFile(file);
  if (!content) return false;
  if (content->starts_with(mark)) return true;
  std::wstring text(content->size(), L'\0');
  const int length =
      content->empty()
          ? 0
          : ::MultiByteToWideChar(CP_ACP, 0, content->data(), static_cast<int>(content->size()),
                                  text.data(), static_cast<int>(text.size()));
  if (length == 0 && !content->empty()) return false;
  return ReplaceContent(file, mark + std::string(reinterpret_cast<const char*>(text.data()),
                                                 static_cast<std::size_t>(length) * 2));
}

}  // namespace

std::uint32_t Win32Profiles::GetPrivateProfileStringA(const std::string& section,
                                                      const std::string& key,
                                                      const std::string& defaultValue,
                                                      std::string& returned, std::uint32_t size,
                                                      const std::string& file) {
  // The value's length in wide characters is not known beforehand: the buffer grows until the
  // whole value fits, then the answer is cut to `size` as the program counts its text.
  std::vector<wchar_t> buffer(256);
  DWORD length = 0;
  for (;;) {
    length = ::GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                        Wide(defaultValue).c_str(), buffer.data(),
                                        static_cast<DWORD>(buffer.size()), Wide(file).c_str());
    if (length + 1 < buffer.size() || buffer.size() >= (1u << 20)) break;
    buffer.resize(buffer.size() * 4);
  }
  const std::string value = Narrow(std::wstring_view(buffer.data(), length));
  // At most size - 1 characters fit beside the terminating NUL.
  returned = size == 0 ? std::string() : value.substr(0, size - 1);
  return static_cast<std::uint32_t>(returned.size());
}

std::int32_t Win32Profiles::GetPrivateProfileIntA(const std::string& section,
                                                  const std::string& key, std::int32_t defaultValue,
                                                  const std::string& file) {
  return static_cast<std::int32_t>(::GetPrivateProfileIntW(Wide(section).c_str(), Wide(key).c_str(),
                                                           defaultValue, Wide(file).c_str()));
}

bool Win32Profiles::WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                               const std::string& value, const std::string& file) {
  // A line break would split the entry and could forge other entries or sections.
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) || file.empty())
    return false;
  const std::wstring path = Wide(file);
  if (!(IsAscii(section) && IsAscii(key) && IsAscii(value)) && !MakeUnicodeFile(path)) return false;
  return ::WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                      path.c_str()) != FALSE;
}

}  // namespace ravlin

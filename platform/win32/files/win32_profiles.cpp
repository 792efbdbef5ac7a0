#include "platform/win32/files/win32_profiles.hpp"

#include <algorithm>
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

// The system writes a new settings file in the machine's code page, which cannot hold every
// character of the program's texts; a file that begins with the UTF-16 byte order mark is
// written in UTF-16 instead. So a new file that must hold other than ASCII starts as one.
bool StartUnicodeFile(const std::wstring& file) {
  UniqueHandle created(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!created.Valid()) return ::GetLastError() == ERROR_FILE_EXISTS;
  const unsigned char mark[] = {0xFF, 0xFE};
  DWORD written = 0;
  return ::WriteFile(created.Get(), mark, sizeof mark, &written, nullptr) &&
         written == sizeof mark && created.Close();
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
  if (!(IsAscii(section) && IsAscii(key) && IsAscii(value)) && !AttributesOf(path) &&
      !StartUnicodeFile(path))
    return false;
  return ::WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                      path.c_str()) != FALSE;
}

}  // namespace ravlin

#include "platform/win32/text/wide_text.hpp"

#include "platform/codepage.hpp"

namespace ravlin {

// wchar_t is UTF-16 on Windows, so the neutral conversions serve unchanged.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Wide(std::string_view utf8) {
  const std::u16string utf16 = AnsiToUtf16(utf8);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToAnsi(std::u16string(wide.begin(), wide.end()));
}

}  // namespace ravlin

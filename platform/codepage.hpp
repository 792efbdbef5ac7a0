#pragma once

#include <string>
#include <string_view>

namespace ravlin {

// The ANSI code page of the program's texts is Windows-1252. Linux file names and terminals
// speak UTF-8, and hives store strings as UTF-16LE; these convert at those borders.
std::string AnsiToUtf8(std::string_view ansi);
// Characters without a Windows-1252 form become '?', as Windows' own conversion does.
std::string Utf8ToAnsi(std::string_view utf8);
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view utf16);
// UTF-16 <-> UTF-8, invalid sequences replaced by U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace ravlin

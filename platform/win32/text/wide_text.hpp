#pragma once

#include <string>
#include <string_view>

namespace ravlin {

// The one border between the program's texts (UTF-8, its ANSI code page) and Windows' wide
// calls, so that names in any language (a Greek or Russian XP) cross unchanged. Invalid
// sequences become U+FFFD.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace ravlin

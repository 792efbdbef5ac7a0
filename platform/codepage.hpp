#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ravlin {

// The ANSI code page of the program's texts is UTF-8, as Windows 10 lets a program choose.
// Linux names files in bytes that are UTF-8 by convention, so every path a user can mount
// passes through unchanged, in any language, and every character has an ANSI form. Hives store
// strings as UTF-16LE; these convert at that border and for display.
//
// Reading ANSI text, a byte that starts no valid UTF-8 sequence (a text written in
// Windows-1252, a name from a volume mounted without a character set) stands for its
// Windows-1252 character, so that such texts still read as they were meant.
std::string AnsiToUtf8(std::string_view ansi);
// The text itself: UTF-8 is the ANSI code page.
std::string Utf8ToAnsi(std::string_view utf8);
std::u16string AnsiToUtf16(std::string_view ansi);
// Unpaired surrogates become U+FFFD, as Windows' own conversion does.
std::string Utf16ToAnsi(std::u16string_view utf16);
// The number of characters of an ANSI text (each stray byte counts as one).
std::size_t AnsiLength(std::string_view ansi);
// The number of bytes of the first character of a non-empty ANSI text.
std::size_t AnsiCharacterSize(std::string_view ansi);
// UTF-16 <-> UTF-8, invalid sequences replaced by U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace ravlin

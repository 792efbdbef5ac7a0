#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravlin {

// Case folding, each named by the rule it follows. Windows compares names ignoring case, but
// not every comparison uses the same table; the name says which one a caller relies on.
//
// ASCII: only A-Z and a-z change; every other byte or code unit stays as it is. The folds of
// one character are inline: searches call them for every byte they read.
constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char16_t UpperAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
std::u16string UpperAscii(std::u16string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix);
// Negative, 0 or positive as `a` sorts before, with or after `b` once both are upper case.
int CompareIgnoringAsciiCase(std::string_view a, std::string_view b);

// Windows-1252: the letters of the Western ANSI code page, byte for byte (À-Þ but ×, and
// Š, Œ, Ž, Ÿ at 0x8A, 0x8C, 0x8E, 0x9F); ß and the other bytes stay.
constexpr char LowerWindows1252(char c) {
  const auto code = static_cast<unsigned char>(c);
  if ((code >= 'A' && code <= 'Z') || (code >= 0xC0 && code <= 0xDE && code != 0xD7))
    return static_cast<char>(code + 0x20);
  if (code == 0x8A || code == 0x8C || code == 0x8E) return static_cast<char>(code + 0x10);
  return code == 0x9F ? static_cast<char>(0xFF) : c;
}
std::string LowerWindows1252(std::string_view text);

// UTF-16: upper case of each code unit as Windows' case table gives it for Latin-1, Latin
// Extended-A, Greek and Cyrillic; other units, surrogate halves included, stay.
char16_t UpperUtf16(char16_t c);
std::u16string UpperUtf16(std::u16string_view text);

// Little-endian numbers, as hives, PE files and registry values store them. A read takes the
// bytes from offset `at`, which the caller has checked to be there.
std::uint16_t ReadLe16(std::span<const std::uint8_t> bytes, std::size_t at = 0);
std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at = 0);
std::array<std::uint8_t, 2> Le16Bytes(std::uint16_t value);
std::array<std::uint8_t, 4> Le32Bytes(std::uint32_t value);
std::array<std::uint8_t, 8> Le64Bytes(std::uint64_t value);
void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t value);
void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t value);

// UTF-16LE text: the code units of `bytes` (an odd last byte is no unit and is dropped), and
// the bytes of `text`.
std::u16string Utf16FromLe(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> Utf16ToLe(std::u16string_view text);
// The text of a stored string value: its units up to the first NUL, or all of them.
std::u16string Utf16StringFromLe(std::span<const std::uint8_t> bytes);

}  // namespace ravlin

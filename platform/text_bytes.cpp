#include "platform/text_bytes.hpp"

#include <algorithm>

namespace ravlin {
namespace {

bool Within(char16_t c, char16_t first, char16_t last) {
  return c >= first && c <= last;
}

template <typename Char>
bool StartsWithFolded(std::basic_string_view<Char> text, std::basic_string_view<Char> prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](Char a, Char b) { return UpperAscii(a) == UpperAscii(b); });
}

template <std::size_t Size>
std::array<std::uint8_t, Size> LeBytes(std::uint64_t value) {
  std::array<std::uint8_t, Size> bytes{};
  for (std::size_t i = 0; i < Size; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return bytes;
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperAscii(c);
  return upper;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

std::u16string UpperAscii(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) c = UpperAscii(c);
  return upper;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithFolded(a, b);
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return StartsWithFolded(text, prefix);
}

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix) {
  return StartsWithFolded(text, prefix);
}

int CompareIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string LowerWindows1252(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerWindows1252(c);
  return lower;
}

char16_t UpperUtf16(char16_t c) {
  const auto minus = [c](int offset) { return static_cast<char16_t>(c - offset); };
  if (Within(c, u'a', u'z') || (Within(c, 0xE0, 0xFE) && c != 0xF7)) return minus(0x20);
  if (c == 0xB5) return 0x39C;  // micro sign: capital mu
  if (c == 0xFF) return 0x178;
  // Latin Extended-A pairs each capital with the small letter after it, except in two runs
  // where the capital comes second; the dotted and dotless i stay apart.
  if (Within(c, 0x100, 0x12F) || Within(c, 0x132, 0x137) || Within(c, 0x14A, 0x177))
    return (c & 1) != 0 ? minus(1) : c;
  if (Within(c, 0x139, 0x148) || Within(c, 0x179, 0x17E)) return (c & 1) == 0 ? minus(1) : c;
  if (Within(c, 0x3B1, 0x3C9) && c != 0x3C2) return minus(0x20);
  if (Within(c, 0x430, 0x44F)) return minus(0x20);
  if (Within(c, 0x450, 0x45F)) return minus(0x50);
  return c;
}

std::u16string UpperUtf16(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) c = UpperUtf16(c);
  return upper;
}

std::uint16_t ReadLe16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(ReadLe16(bytes, at)) |
         static_cast<std::uint32_t>(ReadLe16(bytes, at + 2)) << 16;
}

std::array<std::uint8_t, 2> Le16Bytes(std::uint16_t value) {
  return LeBytes<2>(value);
}

std::array<std::uint8_t, 4> Le32Bytes(std::uint32_t value) {
  return LeBytes<4>(value);
}

std::array<std::uint8_t, 8> Le64Bytes(std::uint64_t value) {
  return LeBytes<8>(value);
}

void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  const auto bytes = Le16Bytes(value);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  const auto bytes = Le32Bytes(value);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::u16string Utf16FromLe(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text += static_cast<char16_t>(ReadLe16(bytes, i));
  return text;
}

std::u16string Utf16StringFromLe(std::span<const std::uint8_t> bytes) {
  std::u16string text = Utf16FromLe(bytes);
  text.resize(std::min(text.find(u'\0'), text.size()));
  return text;
}

std::vector<std::uint8_t> Utf16ToLe(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t c : text) AppendLe16(bytes, c);
  return bytes;
}

}  // namespace ravlin

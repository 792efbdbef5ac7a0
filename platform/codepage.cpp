#include "platform/codepage.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

namespace ravlin {
namespace {

// Windows-1252's characters 0x80 to 0x9F, which stray bytes stand for; 0 marks the five codes
// it leaves undefined, which map to the C1 controls of the same number.
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t FromAnsi(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0)
    return kHighControls[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (code >> 10));
    out += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
  }
}

// The length of the well-formed UTF-8 sequence at the start of `text` (no overlong forms, no
// surrogates, nothing above U+10FFFF), 0 when there is none; `code` receives its value.
std::size_t SequenceAt(std::string_view text, char32_t& code) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || length > text.size()) return 0;
  code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(k) & 0x3F);
  }
  const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// Decodes UTF-8 one code point at a time; a byte that starts no valid sequence goes to
// `stray`, which gives the code point that stands for it.
template <typename Sink, typename Stray>
void DecodeUtf8(std::string_view utf8, Sink sink, Stray stray) {
  while (!utf8.empty()) {
    char32_t code = 0;
    std::size_t length = SequenceAt(utf8, code);
    if (length == 0) {
      code = stray(static_cast<unsigned char>(utf8.front()));
      length = 1;
    }
    sink(code);
    utf8.remove_prefix(length);
  }
}

char32_t Replacement(unsigned char) {
  return U'\uFFFD';
}

template <typename Sink>
void DecodeUtf16(std::u16string_view utf16, Sink sink) {
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      sink(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      sink(U'\uFFFD');
    } else {
      sink(unit);
    }
  }
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  DecodeUtf8(
      ansi, [&out](char32_t code) { AppendUtf8(out, code); }, FromAnsi);
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  return std::string(utf8);
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  DecodeUtf8(
      ansi, [&out](char32_t code) { AppendUtf16(out, code); }, FromAnsi);
  return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
  return Utf16ToUtf8(utf16);
}

std::size_t AnsiCharacterSize(std::string_view ansi) {
  char32_t code = 0;
  return std::max<std::size_t>(SequenceAt(ansi, code), 1);
}

std::size_t AnsiLength(std::string_view ansi) {
  std::size_t length = 0;
  DecodeUtf8(
      ansi, [&length](char32_t) { ++length; }, FromAnsi);
  return length;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  DecodeUtf16(utf16, [&out](char32_t code) { AppendUtf8(out, code); });
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  DecodeUtf8(
      utf8, [&out](char32_t code) { AppendUtf16(out, code); }, Replacement);
  return out;
}

}  // namespace ravlin

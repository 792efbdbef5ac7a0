#include "platform/codepage.hpp"

#include <gtest/gtest.h>

namespace ravlin {
namespace {

TEST(Codepage, AnsiIsUtf8AndEveryCharacterHasAForm) {
  const std::string russian = "Новый том";
  EXPECT_EQ(Utf8ToAnsi(russian), russian);
  EXPECT_EQ(AnsiToUtf8(russian), russian);
  EXPECT_EQ(AnsiToUtf16(russian), u"Новый том");
  EXPECT_EQ(Utf16ToAnsi(u"Новый том 中文 \U0001F600"), "Новый том 中文 \U0001F600");
  EXPECT_EQ(AnsiLength(russian), 9u);
  EXPECT_EQ(AnsiLength("C:\\中文\\\U0001F600"), 7u);
  // An unpaired surrogate has no character to stand for.
  EXPECT_EQ(Utf16ToAnsi(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

TEST(Codepage, StrayBytesReadAsWindows1252) {
  // "café €5" written in Windows-1252: no byte of it starts a valid UTF-8 sequence.
  EXPECT_EQ(AnsiToUtf8("caf\xE9 \x80"
                       "5"),
            "café €5");
  EXPECT_EQ(AnsiToUtf16("caf\xE9"), u"café");
  EXPECT_EQ(AnsiLength("caf\xE9"), 4u);
  // Overlong forms, encoded surrogates and a cut sequence are no UTF-8: each byte stands for
  // itself, and none becomes a separator.
  EXPECT_EQ(AnsiToUtf16("\xC0\xAF"), u"\u00C0\u00AF");
  EXPECT_EQ(AnsiToUtf16("\xED\xA0\x80"), u"\u00ED\u00A0\u20AC");
  EXPECT_EQ(AnsiToUtf16("\xD0"), u"\u00D0");
  // Only the UTF-16 side of the border replaces what it cannot read.
  EXPECT_EQ(Utf8ToUtf16("caf\xE9"), u"caf\uFFFD");
}

}  // namespace
}  // namespace ravlin

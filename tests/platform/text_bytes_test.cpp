#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(AsciiCase, OnlyTheTwentySixLettersChange) {
  EXPECT_EQ(UpperAscii(std::string_view("az@[`{AZ09")), "AZ@[`{AZ09");
  EXPECT_EQ(LowerAscii(std::string_view("AZ@[`{az09")), "az@[`{az09");
  // UTF-8 and Windows-1252 letters beyond ASCII are left alone, byte for byte.
  EXPECT_EQ(UpperAscii(std::string_view("\xC3\xA9t\xE9")), "\xC3\xA9T\xE9");
  EXPECT_EQ(UpperAscii(std::u16string_view(u"\u00e9t\u0444")), u"\u00e9T\u0444");
  EXPECT_EQ(UpperAscii(u'\u00e9'), u'\u00e9');
}

TEST(AsciiCase, ComparesTextsOfTheSameLettersInAnyCase) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("SeRestorePrivilege", "SEREStOREprivilege"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("abc", "abcd"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x89", "\xC3\xA9")) << "É and é in UTF-8";
  EXPECT_TRUE(EqualsIgnoringAsciiCase("", ""));

  EXPECT_TRUE(StartsWithIgnoringAsciiCase("hklm\\Ravlin_System\\x", "HKLM\\RAVLIN_SYSTEM"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("HKLM", "HKLM\\"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase(u"REGEDIT4", u"regedit"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase(u"\u00c9x", u"\u00e9"));
}

TEST(AsciiCase, OrdersAsUpperCaseDoes) {
  EXPECT_LT(CompareIgnoringAsciiCase("abc", "ABD"), 0);
  EXPECT_GT(CompareIgnoringAsciiCase("ABD", "abc"), 0);
  EXPECT_EQ(CompareIgnoringAsciiCase("Setup.LOG", "setup.log"), 0);
  EXPECT_LT(CompareIgnoringAsciiCase("ab", "ABC"), 0);
  // Upper case puts the letters before '_' (0x5F), as NTFS lists names.
  EXPECT_GT(CompareIgnoringAsciiCase("_", "a"), 0);
  EXPECT_LT(CompareIgnoringAsciiCase("z", "\xE9"), 0) << "bytes above 0x7F sort last";
}

TEST(Windows1252Case, LowersTheLettersOfTheWesternCodePage) {
  EXPECT_EQ(LowerWindows1252('A'), 'a');
  EXPECT_EQ(LowerWindows1252('\xC0'), '\xE0');  // À
  EXPECT_EQ(LowerWindows1252('\xDE'), '\xFE');  // Þ
  EXPECT_EQ(LowerWindows1252('\x8A'), '\x9A');  // Š
  EXPECT_EQ(LowerWindows1252('\x8C'), '\x9C');  // Œ
  EXPECT_EQ(LowerWindows1252('\x8E'), '\x9E');  // Ž
  EXPECT_EQ(LowerWindows1252('\x9F'), '\xFF');  // Ÿ
  // Not letters, or letters without a capital in the code page.
  for (const char c : {'\xD7', '\xDF', '\x80', '\x9A', '\xFF', '\x8D', '@', '['})
    EXPECT_EQ(LowerWindows1252(c), c) << static_cast<int>(static_cast<unsigned char>(c));
  EXPECT_EQ(LowerWindows1252(std::string_view("\xC9"
                                              "COLE \xD7 \x8Cuvre")),
            "\xE9"
            "cole \xD7 \x9Cuvre");
}

TEST(Utf16Case, UppersTheLettersOfWindowsCaseTable) {
  struct Fold {
    char16_t from;
    char16_t to;
    const char* why;
  };
  for (const Fold& fold : {
           Fold{u'\u00f7', u'\u00f7', "division sign"},
           Fold{u'\u00df', u'\u00df', "sharp s has no single capital"},
           Fold{u'\u00b5', u'\u039c', "micro sign"},
           Fold{u'\u00ff', u'\u0178', "y with diaeresis"},
           // Latin Extended-A: capital first in most runs, second in two of them.
           Fold{u'\u0101', u'\u0100', "a with macron"},
           Fold{u'\u0100', u'\u0100', "A with macron"},
           Fold{u'\u013a', u'\u0139', "l with acute"},
           Fold{u'\u017e', u'\u017d', "z with caron"},
           Fold{u'\u0131', u'\u0131', "dotless i stays apart from I"},
           Fold{u'\u0130', u'\u0130', "dotted I"},
           // Greek, final sigma apart; Cyrillic in both of its runs.
           Fold{u'\u03c3', u'\u03a3', "sigma"},
           Fold{u'\u03c2', u'\u03c2', "final sigma"},
           Fold{u'\u0444', u'\u0424', "ef"},
           Fold{u'\u0451', u'\u0401', "io"},
       })
    EXPECT_EQ(UpperUtf16(fold.from), fold.to) << fold.why;
  EXPECT_EQ(UpperUtf16(std::u16string_view(u"abc\u00e9\u00fe")), u"ABC\u00c9\u00de");
}

TEST(Utf16Case, SurrogatePairsStayWhole) {
  // U+10428 (Deseret small long I) and U+1F600 keep both halves, whatever their letters.
  const std::u16string text = u"a\U00010428b\U0001F600";
  ASSERT_EQ(text.size(), 6u);
  EXPECT_EQ(UpperUtf16(text), u"A\U00010428B\U0001F600");
  EXPECT_EQ(UpperAscii(std::u16string_view(text)), u"A\U00010428B\U0001F600");
  // An unpaired half is a unit like any other.
  EXPECT_EQ(UpperUtf16(std::u16string_view(u"x\xD800y")), u"X\xD800Y");
}

TEST(LittleEndian, ReadsTheFirstBytesLowestFirst) {
  EXPECT_EQ(ReadLe16(Bytes{0x34, 0x12}), 0x1234);
  EXPECT_EQ(ReadLe16(Bytes{0xFF, 0xFF, 0x01}), 0xFFFF);
  EXPECT_EQ(ReadLe32(Bytes{0x78, 0x56, 0x34, 0x12, 0x99}), 0x12345678u);
  EXPECT_EQ(ReadLe32(Bytes{0x00, 0x00, 0x00, 0x80}), 0x80000000u) << "no sign is spread";
  EXPECT_EQ(ReadLe32(Bytes{0xFF, 0x00, 0x00, 0x00}), 0xFFu);
  EXPECT_EQ(ReadLe16(Bytes{0x00, 0x01, 0x02, 0x03}, 2), 0x0302);
  EXPECT_EQ(ReadLe32(Bytes{0x00, 0x01, 0x02, 0x03, 0x04}, 1), 0x04030201u);
}

TEST(LittleEndian, WritesLowestByteFirstAfterWhatIsThere) {
  EXPECT_EQ(Le32Bytes(0x12345678), (std::array<std::uint8_t, 4>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(Le32Bytes(0xFFFFFFFF), (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Le16Bytes(0x8001), (std::array<std::uint8_t, 2>{0x01, 0x80}));
  EXPECT_EQ(Le64Bytes(0x0102030405060708),
            (std::array<std::uint8_t, 8>{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
  Bytes out{0xAA};
  AppendLe16(out, 0xBEEF);
  AppendLe32(out, 0x01020304);
  EXPECT_EQ(out, (Bytes{0xAA, 0xEF, 0xBE, 0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(ReadLe32(Le32Bytes(0xCAFEF00D)), 0xCAFEF00Du);
}

TEST(LittleEndian, Utf16TextAndItsBytes) {
  EXPECT_EQ(Utf16ToLe(u"A\u00e9\u0416"), (Bytes{0x41, 0x00, 0xE9, 0x00, 0x16, 0x04}));
  EXPECT_EQ(Utf16FromLe(Bytes{0x41, 0x00, 0xE9, 0x00, 0x16, 0x04}), u"A\u00e9\u0416");
  // A surrogate pair is two units, high half first.
  EXPECT_EQ(Utf16ToLe(u"\U0001F600"), (Bytes{0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(Utf16FromLe(Bytes{0x3D, 0xD8, 0x00, 0xDE}), u"\U0001F600");
  // An odd last byte is no unit; NULs are units like the others.
  EXPECT_EQ(Utf16FromLe(Bytes{0x41, 0x00, 0x00, 0x00, 0x42}), std::u16string(u"A\0", 2));
  EXPECT_EQ(Utf16FromLe(Bytes{0x41}), u"");
  EXPECT_TRUE(Utf16ToLe(u"").empty());
  // A string value ends at its first NUL; one without any is read whole.
  EXPECT_EQ(Utf16StringFromLe(Bytes{0x41, 0x00, 0x00, 0x00, 0x42, 0x00}), u"A");
  EXPECT_EQ(Utf16StringFromLe(Bytes{0x41, 0x00, 0x42}), u"A");
}

}  // namespace
}  // namespace ravlin

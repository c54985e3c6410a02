#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "qvcore5/qvcore.h"
#include "text/text_locale.h"

namespace {

TEST(CaseMapping, NarrowAsciiFastPathThenTheRuntimePerByte) {
  char s[] = "Hello, World_1";
  EXPECT_EQ(QVStrToLowerA(s), s);
  EXPECT_STREQ(s, "hello, world_1");
  EXPECT_STREQ(QVStrToUpperA(s), "HELLO, WORLD_1");
  char empty[] = "";
  EXPECT_EQ(QVStrToLowerA(empty), empty);
  // UTF-8 bytes are no characters of their own: they stay, and the ASCII
  // letters after them go through the runtime with the same result.
  char utf8[] = "AB\xC3\x84" "D";
  EXPECT_STREQ(QVStrToLowerA(utf8), "ab\xC3\x84" "d");
}

TEST(CaseMapping, WideLowersAsciiThenHandsTheRestToTheRuntime) {
  QVWCHAR s[] = u"AB\u00c7D";
  EXPECT_EQ(QVStrToLowerW(s), s);
  EXPECT_EQ(s[0], u'a');
  EXPECT_EQ(s[1], u'b');
  EXPECT_EQ(s[2], static_cast<QVWCHAR>(std::towlower(0xC7)));
  EXPECT_EQ(s[3], u'd');
  QVWCHAR up[] = u"ab\u00e7d\U0001F600";
  QVStrToUpperW(up);
  EXPECT_EQ(up[0], u'A');
  EXPECT_EQ(up[2], static_cast<QVWCHAR>(std::towupper(0xE7)));
  EXPECT_EQ(up[3], u'D');
  EXPECT_EQ(std::u16string(up + 4), u"\U0001F600");  // units of a pair map to themselves
  EXPECT_EQ(QVToLowerW(u'Q'), u'q');
  EXPECT_EQ(QVToUpperW(u'q'), u'Q');
  EXPECT_EQ(QVToUpperW(u'['), u'[');
  EXPECT_EQ(QVToLowerW(0xC4), static_cast<QVWCHAR>(std::towlower(0xC4)));
}

TEST(CaseMapping, Utf16MapsUnicodeInPlace) {
  QVWCHAR s[] = u"\u00c4rger \u0130";
  EXPECT_EQ(QVStrToLowerUTF16(s), s);
  EXPECT_EQ(std::u16string(s).substr(0, 6), u"\u00e4rger ");
  QVWCHAR d[] = u"\U00010428x";  // Deseret small letter: a pair
  QVStrToUpperUTF16(d);
  EXPECT_EQ(std::u16string(d), u"\U00010400X");
  QVWCHAR e[] = u"";
  EXPECT_EQ(QVStrToUpperUTF16(e), e);
}

TEST(CaseMapping, Utf16MappingThatWouldGrowIsCutAtTheOriginalLength) {
  QVWCHAR s[] = u"stra\u00dfe";  // upper case is STRASSE, one unit longer
  QVStrToUpperUTF16(s);
  EXPECT_EQ(std::u16string(s), u"STRASS");
  // A cut that would split a pair ends before the pair instead.
  QVWCHAR p[] = u"\u00df\U00010428";  // -> S S D801 DC00: four units for three
  QVStrToUpperUTF16(p);
  EXPECT_EQ(std::u16string(p), u"SS");
}

TEST(CharacterClasses, AsciiDecidedHereOtherValuesByTheRuntime) {
  EXPECT_EQ(QVIsSpaceA(32), 1);
  for (int c : {9, 10, 11, 12, 13}) EXPECT_EQ(QVIsSpaceA(c), 1) << c;
  EXPECT_EQ(QVIsSpaceA('x'), 0);
  EXPECT_EQ(QVIsSpaceA(0x85), std::isspace(0x85) ? 1 : 0);
  EXPECT_EQ(QVIsSpaceW(0x85), std::iswspace(0x85) ? 1 : 0);
  EXPECT_EQ(QVIsSpaceW(0x3000), std::iswspace(0x3000) ? 1 : 0);
  EXPECT_EQ(QVIsSpaceW(u'\t'), 1);
  EXPECT_EQ(QVIsAlphaA('q'), 1);
  EXPECT_EQ(QVIsAlphaA('1'), 0);
  EXPECT_EQ(QVIsDigitA('7'), 1);
  EXPECT_EQ(QVIsDigitW(u'7'), 1);
  EXPECT_EQ(QVIsAlphaW(0x3B1), std::iswalpha(0x3B1) ? 1 : 0);
  // Values outside the runtime's narrow range are judged by their low byte
  // instead of indexing past its tables.
  EXPECT_EQ(QVIsAlphaA(0x7FFFFF80), QVIsAlphaA(0x80));
  EXPECT_EQ(QVIsDigitA(-100000), QVIsDigitA(-100000 & 0xFF));
  EXPECT_EQ(QVToLowerA(0x41), 'a');
  EXPECT_EQ(QVToUpperA('z'), 'Z');
  EXPECT_EQ(QVToLowerA('1'), '1');
}

TEST(CharacterClasses, SingleByteLocaleReachesTheRuntime) {
  qvtest::ScopedLatin1Locale latin1;
  if (!latin1.available()) GTEST_SKIP() << "localedef could not build a Latin-1 locale";
  EXPECT_EQ(static_cast<unsigned char>(QVToLowerA(0xC4)), 0xE4);
  EXPECT_EQ(static_cast<unsigned char>(QVToUpperA(-28)), 0xC4);  // 0xE4 as a signed char
  EXPECT_EQ(QVIsAlphaA(0xE4), 1);
  EXPECT_EQ(QVIsSpaceA(0xA0), std::isspace(0xA0) ? 1 : 0);
  EXPECT_EQ(QVStrICmpA("gr\xC4\xDF" "E", "GR\xE4\xDF" "e"), 0);
  EXPECT_EQ(QVStrNICmpA("x\xC4Q", "X\xE4q", 3), 0);
  EXPECT_NE(QVStrICmpA("\xC4", "\xE5"), 0);
  char s[] = "AB\xC4" "D";
  EXPECT_STREQ(QVStrToLowerA(s), "ab\xE4" "d");
  EXPECT_STREQ(QVStrToUpperA(s), "AB\xC4" "D");
}

}  // namespace

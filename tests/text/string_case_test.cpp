#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "qvcore5/qvcore.h"

namespace {

TEST(CaseMapping, NarrowInPlaceWithUtf8BytesKept) {
  char s[] = "Hello, World_1";
  EXPECT_EQ(QVStrToLowerA(s), s); EXPECT_STREQ(s, "hello, world_1"); EXPECT_STREQ(QVStrToUpperA(s), "HELLO, WORLD_1");
  char empty[] = "";
  EXPECT_EQ(QVStrToLowerA(empty), empty);
  // UTF-8 bytes stay; the ASCII letters after them go through the runtime alike.
  char utf8[] = "AB\xC3\x84" "D";
  EXPECT_STREQ(QVStrToLowerA(utf8), "ab\xC3\x84" "d");
}

TEST(CaseMapping, WideLowersAsciiThenHandsTheRestToTheRuntime) {
  QVWCHAR s[] = u"AB\u00c7D", up[] = u"ab\u00e7d\U0001F600";
  EXPECT_EQ(QVStrToLowerW(s), s);
  EXPECT_EQ(std::u16string(s), std::u16string(u"ab") + char16_t(std::towlower(0xC7)) + u"d");
  QVStrToUpperW(up);  // units of a pair map to themselves
  EXPECT_EQ(std::u16string(up), std::u16string(u"AB") + char16_t(std::towupper(0xE7)) + u"D\U0001F600");
  EXPECT_EQ(QVToLowerW(u'Q'), u'q'); EXPECT_EQ(QVToUpperW(u'q'), u'Q'); EXPECT_EQ(QVToUpperW(u'['), u'[');
  EXPECT_EQ(QVToLowerW(0xC4), static_cast<QVWCHAR>(std::towlower(0xC4)));
}

TEST(CaseMapping, Utf16MapsUnicodeInPlaceAndCutsGrowthAtTheOriginalLength) {
  QVWCHAR s[] = u"\u00c4rger \u0130", d[] = u"\U00010428x", e[] = u"", g[] = u"stra\u00dfe", p[] = u"\u00df\U00010428";
  EXPECT_EQ(QVStrToLowerUTF16(s), s); EXPECT_EQ(std::u16string(s).substr(0, 6), u"\u00e4rger ");
  EXPECT_EQ(std::u16string(QVStrToUpperUTF16(d)), u"\U00010400X");  // Deseret: a pair
  EXPECT_EQ(QVStrToUpperUTF16(e), e);
  EXPECT_EQ(std::u16string(QVStrToUpperUTF16(g)), u"STRASS");  // STRASSE is one unit longer
  // A cut that would split a pair ends before it: S S D801 DC00 is four units for three.
  EXPECT_EQ(std::u16string(QVStrToUpperUTF16(p)), u"SS");
}

TEST(CharacterClasses, AsciiDecidedHereOtherValuesByTheRuntime) {
  for (int c : {9, 10, 11, 12, 13, 32}) EXPECT_EQ(QVIsSpaceA(c), 1) << c;
  EXPECT_EQ(QVIsSpaceA('x'), 0); EXPECT_EQ(QVIsSpaceA(0x85), std::isspace(0x85) ? 1 : 0);
  EXPECT_EQ(QVIsSpaceW(0x85), std::iswspace(0x85) ? 1 : 0);
  EXPECT_EQ(QVIsSpaceW(0x3000), std::iswspace(0x3000) ? 1 : 0); EXPECT_EQ(QVIsSpaceW(u'\t'), 1);
  EXPECT_EQ(QVIsAlphaA('q'), 1); EXPECT_EQ(QVIsAlphaA('1'), 0); EXPECT_EQ(QVIsDigitA('7'), 1);
  EXPECT_EQ(QVIsDigitW(u'7'), 1); EXPECT_EQ(QVIsAlphaW(0x3B1), std::iswalpha(0x3B1) ? 1 : 0);
  // Values outside the runtime's narrow range are judged by their low byte
  // instead of indexing past its tables.
  EXPECT_EQ(QVIsAlphaA(0x7FFFFF80), QVIsAlphaA(0x80)); EXPECT_EQ(QVIsDigitA(-100000), QVIsDigitA(-100000 & 0xFF));
  EXPECT_EQ(QVToLowerA(0x41), 'a'); EXPECT_EQ(QVToUpperA('z'), 'Z'); EXPECT_EQ(QVToLowerA('1'), '1');
}

}  // namespace

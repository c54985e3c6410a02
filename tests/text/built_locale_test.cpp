// Behaviour that depends on the runtime's locale, in locales built for the test.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <tuple>

#include "qvcore5/qvcore.h"
#include "text/built_locale.h"
#include "text/wide_narrow.h"

#define NEED_LOCALE(var, source, charmap)       \
  qvtest::ScopedBuiltLocale var(source, charmap); \
  if (!var.available()) GTEST_SKIP() << "cannot build " << var.name()

namespace {

std::string Lower(std::string s) { return QVStrToLowerA(s.data()); }
std::string Upper(std::string s) { return QVStrToUpperA(s.data()); }

// The second byte of a double-byte character may look like an ASCII letter and must stay.
TEST(BuiltLocale, CaseMappingStepsOverDoubleByteCharacters) {
  // Characters whose second byte is 'A' and 'a'.
  for (auto [source, charmap, up, low] : {std::tuple<const char*, const char*, std::string, std::string>{
                                              "zh_CN", "GBK", "\x81\x41", "\x81\x61"},
                                          {"zh_TW", "BIG5", "\xA4\x41", "\xA4\x61"}}) {
    NEED_LOCALE(locale, source, charmap);
    ASSERT_GT(MB_CUR_MAX, 1u);
    std::string text = "Ab" + up + "Cd" + low + "Ef" + up;
    EXPECT_EQ(Lower(text), "ab" + up + "cd" + low + "ef" + up) << charmap;
    EXPECT_EQ(Upper(text), "AB" + up + "CD" + low + "EF" + up) << charmap;
    // A lead byte cut off by the terminator is left alone and ends nothing early.
    std::string lead(1, up[0]);
    EXPECT_EQ(Lower("x" + up + "Y" + lead), "x" + up + "y" + lead) << charmap;
  }
}

TEST(BuiltLocale, Utf8CaseMappingKeepsNonAsciiBytesAndMapsAsciiAfterThem) {
  NEED_LOCALE(locale, "de_DE", "UTF-8");
  EXPECT_EQ(Lower("Stra\xC3\x9F" "e \xC3\x84Z"), "stra\xC3\x9F" "e \xC3\x84z");
  EXPECT_EQ(Upper("Stra\xC3\x9F" "e \xC3\x84Z"), "STRA\xC3\x9F" "E \xC3\x84Z");
}

// The wide number parsing reads the locale's decimal point as the narrow form and the runtime do.
TEST(BuiltLocale, CommaDecimalPointReadsAlikeNarrowAndWide) {
  NEED_LOCALE(locale, "de_DE", "UTF-8");
  struct {
    const char* narrow;
    const char16_t* wide;
    double value;
    long used;
  } cases[] = {{"1,5", u"1,5", 1.5, 3}, {"  -2,25e1x", u"  -2,25e1x", -22.5, 9}, {"3,5,7", u"3,5,7", 3.5, 3},
               {"1.5", u"1.5", 1.0, 1}, {",5", u",5", 0.5, 2}, {"7,", u"7,", 7.0, 2}};
  for (auto& c : cases) {
    char* narrowEnd = nullptr;
    QVWCHAR* wideEnd = nullptr;
    EXPECT_EQ(QVStrToDA(c.narrow, &narrowEnd), std::strtod(c.narrow, nullptr)) << c.narrow;
    EXPECT_EQ(QVStrToDW(c.wide, &wideEnd), c.value) << c.narrow; EXPECT_EQ(wideEnd - c.wide, c.used) << c.narrow;
    EXPECT_EQ(narrowEnd - c.narrow, c.used) << c.narrow;
  }
}

TEST(BuiltLocale, DotLocaleStopsAtAComma) {
  QVWCHAR* end = nullptr;
  const QVWCHAR* text = u"1,5";
  EXPECT_EQ(QVStrToDW(text, &end), 1.0); EXPECT_EQ(end, text + 1);
}

TEST(BuiltLocale, SingleByteLocaleReachesConversionsClassesAndCase) {
  NEED_LOCALE(latin1, "de_DE", "ISO-8859-1");
  QVWCHAR wide[8];
  EXPECT_EQ(QVAnsiToUnicode(wide, "x\xE4", 8), 2u); EXPECT_EQ(std::u16string(wide), u"x\u00e4");
  char narrow[8];
  EXPECT_EQ(QVUnicodeToAnsi(narrow, u"\u00e4", 8), 1u); EXPECT_STREQ(narrow, "\xE4");
  EXPECT_EQ(QVUnicodeToAnsi(narrow, u"\u20ac", 8), static_cast<size_t>(-1));
  EXPECT_EQ(qv::text::WideToNarrow(u"\u20ac\u00e4"), "?\xE4");
  EXPECT_EQ(qv::text::NarrowToWide("\xE4\xFF"), u"\u00e4\u00ff");

  EXPECT_EQ(static_cast<unsigned char>(QVToLowerA(0xC4)), 0xE4);
  EXPECT_EQ(static_cast<unsigned char>(QVToUpperA(-28)), 0xC4);  // 0xE4 as a signed char
  EXPECT_EQ(QVIsAlphaA(0xE4), 1); EXPECT_EQ(QVIsSpaceA(0xA0), std::isspace(0xA0) ? 1 : 0);
  EXPECT_EQ(QVStrICmpA("gr\xC4\xDF" "E", "GR\xE4\xDF" "e"), 0); EXPECT_EQ(QVStrNICmpA("x\xC4Q", "X\xE4q", 3), 0);
  EXPECT_NE(QVStrICmpA("\xC4", "\xE5"), 0); EXPECT_EQ(Lower("AB\xC4" "D"), "ab\xE4" "d");
  EXPECT_EQ(Upper("ab\xE4" "d"), "AB\xC4" "D");
}

}  // namespace

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <string>
#include <tuple>

#include "os/os_locale.h"
#if !defined(_WIN32)
#include "os/posix/codeset.h"
#endif
#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "text/built_locale.h"
#include "text/locale_default.h"
#include "text/locale_map.h"
#include "text/wide_narrow.h"

namespace {

using qv::text::LocaleIdFromPosixName;

TEST(LocaleMap, HoldsTheFixedEntriesAndMatchesPosixNames) {
  auto map = qv::text::LocaleMap(); ASSERT_EQ(map.size(), 224u);
  for (size_t i = 1; i < map.size(); ++i) EXPECT_LT(map[i - 1].id, map[i].id);
  const std::pair<uint32_t, const char*> names[] = {
      {0x0000, "root"}, {0x007F, "en_US_POSIX"}, {0x0C0A, "es_ES"}, {0x040A, "es__TRADITIONAL"},
      {0x10407, "de__PHONEBOOK"}, {0x042C, "az_AZ_L"}, {0x0843, "uz_UZ"}, {0x081A, "sh_YU"}, {0x0C1A, "sr_YU"},
      {0x0465, "div_MV"}, {0x500A, "es_PR"}, {0x0409, "en_US"}, {0x0417, "en_US"}, {0x0428, "en_US"},
      {0x0017, "en_US"}, {0xFFFFFFFF, "en_US"}};  // the last five are missing
  for (auto [id, name] : names) EXPECT_STREQ(qv::text::LocaleNameFromId(id), name) << id;
  const std::pair<const char*, uint32_t> ids[] = {
      {"de_DE.UTF-8", 0x0407}, {"de_CH", 0x0807}, {"de_DE@euro", 0x0407}, {"de_BE.UTF-8", 0x0007},  // the language alone
      {"en_GB.ISO-8859-1", 0x0809}, {"kok_IN", 0x0457}, {"es__TRADITIONAL", 0x040A}};
  for (auto [name, id] : ids) EXPECT_EQ(LocaleIdFromPosixName(name), id) << name;
  // English, then malformed or unknown names: all en_US.
  for (const char* name : {"en_US.UTF-8", "C", "POSIX", "C.UTF-8", "C.utf8", "", "_DE", ".UTF-8", "@euro", "xx_YY",
                           "DE_de", "/usr/lib/locale/x", "de-DE", "ü", "sr_RS@latin"})
    EXPECT_EQ(LocaleIdFromPosixName(name), 0x0409u) << name;
  EXPECT_EQ(LocaleIdFromPosixName(std::string(100000, 'd')), 0x0409u);
}

TEST(DefaultLocale, FollowsTheEnvironmentAtEveryCallAndCountsTheTerminator) {
  qvtest::ScopedEnv all{"LC_ALL", nullptr}, messages{"LC_MESSAGES", nullptr}, lang{"LANG", nullptr};
  // LC_ALL, LC_MESSAGES, LANG; empty values are skipped.
  const struct { const char *all, *messages, *lang; const char16_t* name; } cases[] = {
      {nullptr, nullptr, nullptr, u"en_US"}, {nullptr, nullptr, "es_ES.UTF-8", u"es_ES"},
      {nullptr, "it_IT", "es_ES.UTF-8", u"it_IT"}, {"fr_CA.UTF-8", "it_IT", "es_ES.UTF-8", u"fr_CA"},
      {"", "", "pt_BR", u"pt_BR"}, {"C", nullptr, "de_DE", u"en_US"}, {nullptr, nullptr, "not a locale!", u"en_US"},
      {nullptr, nullptr, "en_US.UTF-8", u"en_US"}};
  QVWCHAR buffer[32];
  for (auto c : cases) {
    all.Set(c.all), messages.Set(c.messages), lang.Set(c.lang);
    ASSERT_EQ(QVGetDefaultLocale(buffer, 32), 0); EXPECT_EQ(std::u16string(buffer), c.name);
  }
  std::fill(std::begin(buffer), std::end(buffer), u'x'); EXPECT_EQ(QVGetDefaultLocale(buffer, 5), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(QVGetDefaultLocale(buffer, 0), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(std::u16string(buffer, 10), u"xxxxxxxxxx");  // untouched
  EXPECT_EQ(QVGetDefaultLocale(buffer, 6), 0); EXPECT_EQ(std::u16string(buffer, 10), std::u16string(u"en_US\0xxxx", 10));
  EXPECT_EQ(QVGetDefaultLocale(buffer, 9), 0);
  EXPECT_EQ(std::u16string(buffer, 10), std::u16string(u"en_US\0\0\0\0x", 10));  // zero-filled to the capacity
  EXPECT_EQ(QVGetDefaultLocale(nullptr, 9), QV_E_INVALIDARG);
}

#if !defined(_WIN32)  // codeset names are the POSIX runtime's
TEST(CodePage, CodesetNamesMapToCodePagesAndTheRuntimesIsNamed) {
  const std::pair<const char*, uint32_t> pages[] = {
      {"UTF-8", 65001}, {"utf8", 65001}, {"ANSI_X3.4-1968", 20127}, {"ISO-8859-1", 28591}, {"ISO-8859-15", 28605},
      {"KOI8-R", 20866}, {"EUC-JP", 20932}, {"GB18030", 54936}, {"CP1251", 1251}, {"WINDOWS-1252", 1252},
      {"ARMSCII-8", 20127}, {"CP", 20127}, {"CP99999", 20127}, {"CP12a", 20127}, {"", 20127},  // unknown: ASCII
      {"A-VERY-LONG-CODESET-NAME-THAT-NOBODY-USES", 20127}, {nullptr, 20127}};
  for (auto [codeset, page] : pages) EXPECT_EQ(qv::os::CodePageFromCodeset(codeset), page) << (codeset ? codeset : "");
  std::string saved = std::setlocale(LC_CTYPE, nullptr); QVWCHAR buffer[9];
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 8), 0);
  EXPECT_EQ(std::u16string(buffer), u"UTF-8");
  // ASCII: "CP20127" and its terminator fill the 8 units exactly.
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  std::fill(std::begin(buffer), std::end(buffer), u'x'); EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 8), 0);
  EXPECT_EQ(std::u16string(buffer, 9), std::u16string(u"CP20127\0x", 9));
  std::setlocale(LC_CTYPE, saved.c_str()); std::fill(std::begin(buffer), std::end(buffer), u'x');
  EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 7), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(QVGetDefaultCharEncoding(buffer, -1), QV_E_BUFFERTOOSMALL); EXPECT_EQ(buffer[0], u'x');
  EXPECT_EQ(QVGetDefaultCharEncoding(nullptr, 8), QV_E_INVALIDARG);
}

#else
// The ANSI code page of Windows, by number (65001 is "UTF-8").
TEST(CodePage, TheAnsiCodePageIsNamed) {
  QVWCHAR buffer[16];
  ASSERT_EQ(QVGetDefaultCharEncoding(buffer, 16), 0);
  uint32_t page = qv::os::AnsiCodePage();
  std::string expected = page == 65001 ? "UTF-8" : "CP" + std::to_string(page);
  EXPECT_EQ(std::u16string(buffer), std::u16string(expected.begin(), expected.end()));
  EXPECT_EQ(QVGetDefaultCharEncoding(nullptr, 8), QV_E_INVALIDARG);
}
#endif

// Behaviour that depends on the runtime's locale, in locales built for the test.
#define NEED_LOCALE(var, source, charmap)       \
  qvtest::ScopedBuiltLocale var(source, charmap); \
  if (!var.available()) GTEST_SKIP() << "cannot build " << var.name()

std::string Lower(std::string s) { return QVStrToLowerA(s.data()); }
std::string Upper(std::string s) { return QVStrToUpperA(s.data()); }

// The second byte of a double-byte character may look like an ASCII letter and must stay.
TEST(BuiltLocale, CaseMappingStepsOverDoubleByteCharacters) {
  // Characters whose second byte is 'A' and 'a'.
  for (auto [source, charmap, up, low] : {std::tuple<const char*, const char*, std::string, std::string>{
                                              "zh_CN", "GBK", "\x81\x41", "\x81\x61"},
                                          {"zh_TW", "BIG5", "\xA4\x41", "\xA4\x61"}}) {
    NEED_LOCALE(locale, source, charmap); ASSERT_GT(MB_CUR_MAX, 1u);
    std::string text = "Ab" + up + "Cd" + low + "Ef" + up;
    EXPECT_EQ(Lower(text), "ab" + up + "cd" + low + "ef" + up) << charmap;
    EXPECT_EQ(Upper(text), "AB" + up + "CD" + low + "EF" + up) << charmap;
    // A lead byte cut off by the terminator is left alone and ends nothing early.
    std::string lead(1, up[0]); EXPECT_EQ(Lower("x" + up + "Y" + lead), "x" + up + "y" + lead) << charmap;
  }
}

// Case mapping keeps non-ASCII bytes and maps the ASCII after them; the wide
// number parsing reads the decimal point as the narrow form and the runtime do.
TEST(BuiltLocale, Utf8CaseMappingAndCommaDecimalPoint) {
  NEED_LOCALE(locale, "de_DE", "UTF-8"); EXPECT_EQ(Lower("Stra\xC3\x9F" "e \xC3\x84Z"), "stra\xC3\x9F" "e \xC3\x84z");
  EXPECT_EQ(Upper("Stra\xC3\x9F" "e \xC3\x84Z"), "STRA\xC3\x9F" "E \xC3\x84Z");
  struct { const char* narrow; const char16_t* wide; double value; long used; } cases[] = {
      {"1,5", u"1,5", 1.5, 3}, {"  -2,25e1x", u"  -2,25e1x", -22.5, 9}, {"3,5,7", u"3,5,7", 3.5, 3},
      {"1.5", u"1.5", 1.0, 1}, {",5", u",5", 0.5, 2}, {"7,", u"7,", 7.0, 2}};
  for (auto& c : cases) {
    char* narrowEnd = nullptr; QVWCHAR* wideEnd = nullptr;
    EXPECT_EQ(QVStrToDA(c.narrow, &narrowEnd), std::strtod(c.narrow, nullptr)) << c.narrow;
    EXPECT_EQ(QVStrToDW(c.wide, &wideEnd), c.value) << c.narrow; EXPECT_EQ(wideEnd - c.wide, c.used) << c.narrow;
    EXPECT_EQ(narrowEnd - c.narrow, c.used) << c.narrow;
  }
}

TEST(BuiltLocale, SingleByteLocaleReachesConversionsClassesAndCase) {
  NEED_LOCALE(latin1, "de_DE", "ISO-8859-1");
  QVWCHAR wide[8]; EXPECT_EQ(QVAnsiToUnicode(wide, "x\xE4", 8), 2u); EXPECT_EQ(std::u16string(wide), u"x\u00e4");
  char narrow[8]; EXPECT_EQ(QVUnicodeToAnsi(narrow, u"\u00e4", 8), 1u); EXPECT_STREQ(narrow, "\xE4");
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

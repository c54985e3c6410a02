#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

#include "os/os_locale.h"
#include "os/posix/codeset.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "text/locale_default.h"
#include "text/locale_map.h"

namespace {

using qv::text::LocaleIdFromPosixName;
using qv::text::LocaleNameFromId;

// Clears the locale variables for one test and puts the old ones back.
struct LocaleEnvironment {
  qvtest::ScopedEnv all{"LC_ALL", nullptr}, messages{"LC_MESSAGES", nullptr}, lang{"LANG", nullptr};
  void Set(const char* lcAll, const char* lcMessages, const char* language) {
    all.Set(lcAll);
    messages.Set(lcMessages);
    lang.Set(language);
  }
};

std::u16string DefaultLocale() {
  QVWCHAR buffer[32];
  QVRESULT r = QVGetDefaultLocale(buffer, 32);
  return r == 0 ? std::u16string(buffer) : u"<failed>";
}

TEST(LocaleMap, HoldsTheFixedEntries) {
  auto map = qv::text::LocaleMap();
  ASSERT_EQ(map.size(), 224u);
  for (size_t i = 1; i < map.size(); ++i) EXPECT_LT(map[i - 1].id, map[i].id);
  const std::pair<uint32_t, const char*> names[] = {
      {0x0000, "root"},   {0x007F, "en_US_POSIX"}, {0x0C0A, "es_ES"}, {0x040A, "es__TRADITIONAL"},
      {0x10407, "de__PHONEBOOK"}, {0x042C, "az_AZ_L"}, {0x0843, "uz_UZ"}, {0x081A, "sh_YU"},
      {0x0C1A, "sr_YU"},  {0x0465, "div_MV"},      {0x500A, "es_PR"}};
  for (auto [id, name] : names) EXPECT_STREQ(LocaleNameFromId(id), name) << id;
  for (uint32_t missing : {0x0409u, 0x0417u, 0x0428u, 0x0017u, 0xFFFFFFFFu}) EXPECT_STREQ(LocaleNameFromId(missing), "en_US");
}

TEST(LocaleMatch, PosixNamesFindTheirEntry) {
  const std::pair<const char*, uint32_t> ids[] = {
      {"de_DE.UTF-8", 0x0407}, {"de_CH", 0x0807}, {"de_DE@euro", 0x0407}, {"de_BE.UTF-8", 0x0007},  // the language alone
      {"en_US.UTF-8", 0x0409}, {"en_GB.ISO-8859-1", 0x0809}, {"kok_IN", 0x0457}, {"es__TRADITIONAL", 0x040A}};
  for (auto [name, id] : ids) EXPECT_EQ(LocaleIdFromPosixName(name), id) << name;
  for (const char* english : {"C", "POSIX", "C.UTF-8", "C.utf8"}) EXPECT_EQ(LocaleIdFromPosixName(english), 0x0409u) << english;
  // Malformed or unknown names fall back to en_US.
  for (const char* bad : {"", "_DE", ".UTF-8", "@euro", "xx_YY", "DE_de", "/usr/lib/locale/x", "de-DE", "ü",
                          "sr_RS@latin"})
    EXPECT_EQ(LocaleIdFromPosixName(bad), 0x0409u) << bad;
  EXPECT_EQ(LocaleIdFromPosixName(std::string(100000, 'd')), 0x0409u);
}

TEST(DefaultLocale, FollowsTheEnvironmentAtEveryCall) {
  LocaleEnvironment env;
  EXPECT_EQ(DefaultLocale(), u"en_US");
  env.Set(nullptr, nullptr, "es_ES.UTF-8");
  EXPECT_EQ(DefaultLocale(), u"es_ES");
  env.Set(nullptr, "it_IT", "es_ES.UTF-8");
  EXPECT_EQ(DefaultLocale(), u"it_IT");
  env.Set("fr_CA.UTF-8", "it_IT", "es_ES.UTF-8");
  EXPECT_EQ(DefaultLocale(), u"fr_CA");
  env.Set("", "", "pt_BR");  // empty values are skipped
  EXPECT_EQ(DefaultLocale(), u"pt_BR");
  env.Set("C", nullptr, "de_DE");
  EXPECT_EQ(DefaultLocale(), u"en_US");
  env.Set(nullptr, nullptr, "not a locale!");
  EXPECT_EQ(DefaultLocale(), u"en_US");
}

TEST(DefaultLocale, CapacityCountsTheTerminator) {
  LocaleEnvironment env;
  env.Set(nullptr, nullptr, "en_US.UTF-8");
  QVWCHAR buffer[10];
  std::fill(std::begin(buffer), std::end(buffer), u'x');
  EXPECT_EQ(QVGetDefaultLocale(buffer, 5), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(QVGetDefaultLocale(buffer, 0), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(std::u16string(buffer, 10), u"xxxxxxxxxx");  // untouched
  EXPECT_EQ(QVGetDefaultLocale(buffer, 6), 0);
  EXPECT_EQ(std::u16string(buffer, 10), std::u16string(u"en_US\0xxxx", 10));
  std::fill(std::begin(buffer), std::end(buffer), u'x');
  EXPECT_EQ(QVGetDefaultLocale(buffer, 9), 0);
  EXPECT_EQ(std::u16string(buffer, 10), std::u16string(u"en_US\0\0\0\0x", 10));  // zero-filled to the capacity
  EXPECT_EQ(QVGetDefaultLocale(nullptr, 9), QV_E_INVALIDARG);
}

TEST(CodePage, CodesetNamesMapToCodePages) {
  using qv::os::CodePageFromCodeset;
  const std::pair<const char*, uint32_t> pages[] = {
      {"UTF-8", 65001}, {"utf8", 65001},   {"ANSI_X3.4-1968", 20127}, {"ISO-8859-1", 28591}, {"ISO-8859-15", 28605},
      {"KOI8-R", 20866}, {"EUC-JP", 20932}, {"GB18030", 54936},       {"CP1251", 1251},      {"WINDOWS-1252", 1252}};
  for (auto [codeset, page] : pages) EXPECT_EQ(CodePageFromCodeset(codeset), page) << codeset;
  for (const char* unknown : {"ARMSCII-8", "CP", "CP99999", "CP12a", "", "A-VERY-LONG-CODESET-NAME-THAT-NOBODY-USES"})
    EXPECT_EQ(CodePageFromCodeset(unknown), 20127u) << unknown;
  EXPECT_EQ(CodePageFromCodeset(nullptr), 20127u);
}

// Switches the runtime's character type for one test.
class CtypeLocale {
 public:
  explicit CtypeLocale(const char* name) : m_saved(std::setlocale(LC_CTYPE, nullptr)) { m_ok = std::setlocale(LC_CTYPE, name) != nullptr; }
  ~CtypeLocale() { std::setlocale(LC_CTYPE, m_saved.c_str()); }
  bool ok() const { return m_ok; }

 private:
  std::string m_saved;
  bool m_ok;
};

TEST(DefaultCharEncoding, NamesTheRuntimeCodeset) {
  QVWCHAR buffer[9];
  {
    CtypeLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok());
    EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 8), 0);
    EXPECT_EQ(std::u16string(buffer), u"UTF-8");
  }
  {
    // ASCII: "CP20127" and its terminator fill the 8 units exactly.
    CtypeLocale ascii("C");
    ASSERT_TRUE(ascii.ok());
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 8), 0);
    EXPECT_EQ(std::u16string(buffer, 9), std::u16string(u"CP20127\0x", 9));
  }
  std::fill(std::begin(buffer), std::end(buffer), u'x');
  EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 7), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(QVGetDefaultCharEncoding(buffer, -1), QV_E_BUFFERTOOSMALL);
  EXPECT_EQ(buffer[0], u'x');
  EXPECT_EQ(QVGetDefaultCharEncoding(nullptr, 8), QV_E_INVALIDARG);
}

}  // namespace

// The start takes the user's locale category by category, so one category
// naming a locale that is not installed does not cost the others.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "core/lifecycle.h"
#include "qvcore5/qvcore.h"
#include "text/built_locale.h"

namespace {

// Sets or clears the locale variables for one test and restores them after.
class ScopedLocaleEnvironment {
 public:
  ScopedLocaleEnvironment() {
    for (int i = 0; i < kCount; ++i) {
      const char* v = std::getenv(kNames[i]);
      m_had[i] = v != nullptr;
      if (v) m_old[i] = v;
      unsetenv(kNames[i]);
    }
  }
  ~ScopedLocaleEnvironment() {
    for (int i = 0; i < kCount; ++i) m_had[i] ? setenv(kNames[i], m_old[i].c_str(), 1) : unsetenv(kNames[i]);
  }
  void Set(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

 private:
  static constexpr int kCount = 5;
  static constexpr const char* kNames[kCount] = {"LC_ALL", "LANG", "LC_CTYPE", "LC_TIME", "LC_NUMERIC"};
  bool m_had[kCount];
  std::string m_old[kCount];
};

std::string Category(int category) {
  const char* name = std::setlocale(category, nullptr);
  return name ? name : "";
}

// Runs the library's start again as the first one, in the environment given.
void RestartLibrary() {
  ASSERT_EQ(qv::core::LibraryEnd(), QV_S_OK);
  std::setlocale(LC_ALL, "C");
  qv::core::LibraryStart();
  ASSERT_EQ(qv::core::AttachCount(), 1);
}

std::u16string Encoding() {
  QVWCHAR buffer[16] = {};
  EXPECT_EQ(QVGetDefaultCharEncoding(buffer, 16), QV_S_OK);
  return std::u16string(buffer);
}

}  // namespace

TEST(LocaleStart, MissingTimeLocaleKeepsTheUsersCharacterType) {
  qvtest::ScopedBuiltLocale latin1("de_DE", "ISO-8859-1");
  if (!latin1.available()) GTEST_SKIP() << "cannot build de_DE.ISO-8859-1";
  ScopedLocaleEnvironment env;
  env.Set("LANG", latin1.name());
  env.Set("LC_TIME", "xx_YY.UTF-8");  // not installed
  RestartLibrary();
  EXPECT_EQ(Category(LC_CTYPE), latin1.name());
  EXPECT_EQ(Category(LC_NUMERIC), latin1.name());
  EXPECT_EQ(Category(LC_TIME), "C");
  EXPECT_EQ(Encoding(), u"CP28591");
  QVWCHAR wide[8] = {};
  EXPECT_EQ(QVAnsiToUnicode(wide, "\xE9t\xE9", 8), 3u);  // Latin-1, not cut UTF-8
  EXPECT_EQ(std::u16string(wide), u"\u00e9t\u00e9");
}

TEST(LocaleStart, MissingCharacterTypeLocaleFallsBackToUtf8Alone) {
  qvtest::ScopedBuiltLocale latin1("de_DE", "ISO-8859-1");
  if (!latin1.available()) GTEST_SKIP() << "cannot build de_DE.ISO-8859-1";
  ScopedLocaleEnvironment env;
  env.Set("LANG", latin1.name());
  env.Set("LC_CTYPE", "xx_YY.ISO-8859-1");  // not installed
  RestartLibrary();
  EXPECT_EQ(Encoding(), u"UTF-8");
  EXPECT_EQ(Category(LC_NUMERIC), latin1.name());
  EXPECT_EQ(Category(LC_TIME), latin1.name());
}

TEST(LocaleStart, AllInstalledIsTakenWhole) {
  qvtest::ScopedBuiltLocale latin1("de_DE", "ISO-8859-1");
  if (!latin1.available()) GTEST_SKIP() << "cannot build de_DE.ISO-8859-1";
  ScopedLocaleEnvironment env;
  env.Set("LC_ALL", latin1.name());
  RestartLibrary();
  EXPECT_EQ(Category(LC_ALL), latin1.name());
  EXPECT_EQ(Encoding(), u"CP28591");
}

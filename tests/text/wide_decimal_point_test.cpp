// The wide number parsing reads the locale's decimal point as the narrow one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "qvcore5/qvcore.h"
#include "text/built_locale.h"

TEST(WideDecimalPoint, CommaLocaleReadsAsTheNarrowFormAndTheRuntime) {
  qvtest::ScopedBuiltLocale locale("de_DE", "UTF-8");
  if (!locale.available()) GTEST_SKIP() << "cannot build de_DE.UTF-8";
  struct Case {
    const char* narrow;
    const char16_t* wide;
    double value;
    size_t used;
  } cases[] = {
      {"1,5", u"1,5", 1.5, 3},
      {"  -2,25e1x", u"  -2,25e1x", -22.5, 9},
      {"3,5,7", u"3,5,7", 3.5, 3},
      {"1.5", u"1.5", 1.0, 1},  // '.' is no decimal point here
      {",5", u",5", 0.5, 2},
      {"7,", u"7,", 7.0, 2},
  };
  for (const Case& c : cases) {
    char* narrowEnd = nullptr;
    double narrow = QVStrToDA(c.narrow, &narrowEnd);
    EXPECT_EQ(narrow, std::strtod(c.narrow, nullptr)) << c.narrow;
    QVWCHAR* wideEnd = nullptr;
    double wide = QVStrToDW(reinterpret_cast<const QVWCHAR*>(c.wide), &wideEnd);
    EXPECT_EQ(wide, c.value) << c.narrow;
    EXPECT_EQ(wide, narrow) << c.narrow;
    EXPECT_EQ(static_cast<size_t>(wideEnd - reinterpret_cast<const QVWCHAR*>(c.wide)), c.used) << c.narrow;
    EXPECT_EQ(static_cast<size_t>(narrowEnd - c.narrow), c.used) << c.narrow;
  }
}

TEST(WideDecimalPoint, DotLocaleStopsAtAComma) {
  QVWCHAR* end = nullptr;
  const QVWCHAR* text = u"1,5";
  EXPECT_EQ(QVStrToDW(text, &end), 1.0);
  EXPECT_EQ(end, text + 1);
}

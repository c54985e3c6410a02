#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <string>

#include "qvcore5/qvcore.h"

namespace {

TEST(NumberToText, WindowsResultsInEveryRadix) {
  char a[80];
  QVWCHAR w[80];
  const struct { bool is64; int64_t value; int radix; const char* text; } cases[] = {
      {0, -255, 10, "-255"}, {0, -1, 16, "ffffffff"}, {0, 255, 2, "11111111"}, {0, INT32_MIN, 10, "-2147483648"},
      {0, INT32_MIN, 8, "20000000000"}, {0, 0, 36, "0"}, {0, 35, 36, "z"}, {0, -42, 16, "ffffffd6"},
      {1, INT64_MIN, 10, "-9223372036854775808"}, {1, -1, 16, "ffffffffffffffff"},
      {1, -1, 2, "1111111111111111111111111111111111111111111111111111111111111111"},
      {1, 1234567890123LL, 10, "1234567890123"}, {1, -1, 36, "3w5e11264sgsf"}};
  for (auto c : cases) {
    std::string narrow = c.is64 ? QVInt64ToStrA(c.value, a, c.radix) : QVLToStrA(int32_t(c.value), a, c.radix);
    std::u16string wide = c.is64 ? QVInt64ToStrW(c.value, w, c.radix) : QVLToStrW(int32_t(c.value), w, c.radix);
    EXPECT_EQ(narrow, c.text); EXPECT_EQ(wide, std::u16string(c.text, c.text + std::strlen(c.text)));
  }
  // An impossible radix gives the empty string rather than garbage.
  std::strcpy(a, "old");
  EXPECT_STREQ(QVLToStrA(5, a, 1), ""); EXPECT_STREQ(QVLToStrA(5, a, 37), "");
  EXPECT_EQ(QVLToStrA(5, nullptr, 10), nullptr);
}

// Narrow and wide forms read the same ASCII text alike; each row runs through both.
TEST(TextToNumber, LongIsThirtyTwoBitsSaturatesAndReadsBasesAndPrefixes) {
  const struct { bool isUnsigned; const char* text; int base; int64_t value; size_t used; int error; } cases[] = {
      {0, "  -123xyz", 10, -123, 6, 0}, {0, "2147483648", 10, INT32_MAX, 10, ERANGE},
      {0, "-2147483648", 10, INT32_MIN, 11, 0}, {0, "-2147483649", 10, INT32_MIN, 11, ERANGE},
      {0, "0x7fffffff", 16, INT32_MAX, 10, 0}, {0, "99999999999", 10, INT32_MAX, 11, ERANGE}, {0, "0x1Fg", 0, 31, 4, 0},
      {0, "0x1F", 16, 31, 4, 0}, {0, "017", 0, 15, 3, 0}, {0, "zz", 36, 35 * 36 + 35, 2, 0},
      {0, "0xg", 16, 0, 1, 0},  // no hex digit: the number is the 0
      {0, "  -+5", 10, 0, 0, 0}, {0, "12", 1, 0, 0, EINVAL}, {1, "4294967295", 10, 0xFFFFFFFF, 10, 0},
      {1, "-1", 10, 0xFFFFFFFF, 2, 0}, {1, "-2", 0, 0xFFFFFFFE, 2, 0}, {1, "4294967296", 10, 0xFFFFFFFF, 10, ERANGE},
      {1, "-4294967296", 10, 0xFFFFFFFF, 11, ERANGE}};
  for (auto c : cases) {
    std::u16string wide(c.text, c.text + std::strlen(c.text));
    char* end = nullptr;
    QVWCHAR* wideEnd = nullptr;
    errno = 0;
    EXPECT_EQ(c.isUnsigned ? int64_t(QVStrToULA(c.text, &end, c.base)) : QVStrToLA(c.text, &end, c.base), c.value) << c.text;
    EXPECT_EQ(errno, c.error) << c.text; EXPECT_EQ(end, c.text + c.used) << c.text;
    errno = 0;
    EXPECT_EQ(c.isUnsigned ? int64_t(QVStrToULW(wide.c_str(), &wideEnd, c.base)) : QVStrToLW(wide.c_str(), &wideEnd, c.base),
              c.value) << c.text;
    EXPECT_EQ(errno, c.error) << c.text; EXPECT_EQ(wideEnd, wide.c_str() + c.used) << c.text;
  }
  char* end = nullptr;
  EXPECT_EQ(QVStrToLA(nullptr, &end, 10), 0); EXPECT_EQ(end, nullptr); EXPECT_EQ(QVStrToLA("5", nullptr, 10), 5);
}

TEST(TextToNumber, SixtyFourBitAndIntegerForms) {
  EXPECT_EQ(QVStrToLLA("-9223372036854775808", nullptr, 10), INT64_MIN);
  EXPECT_EQ(QVStrToULLA("18446744073709551615", nullptr, 10), UINT64_MAX);
  EXPECT_EQ(QVStrToLLW(u"-9223372036854775808", nullptr, 10), INT64_MIN);
  EXPECT_EQ(QVStrToLLW(u"9223372036854775808", nullptr, 10), INT64_MAX); EXPECT_EQ(QVStrToIA(" 42abc"), 42);
  EXPECT_EQ(QVStrToIA(nullptr), 0); EXPECT_EQ(QVStrToI64W(u"  123456789012"), 123456789012LL);
  EXPECT_EQ(QVStrToIW(u"-45z"), -45);
}

TEST(TextToNumber, WideReadsOnlyAsciiDigitsAndTheRuntimesWhiteSpace) {
  QVWCHAR* end = nullptr;
  std::u16string s = u"\u3000 -77 rest";  // ideographic space is white space in a Unicode locale
  int32_t v = QVStrToLW(s.c_str(), &end, 10);
  if (std::iswspace(0x3000)) {
    EXPECT_EQ(v, -77); EXPECT_EQ(std::u16string(end), u" rest");
  }
  const QVWCHAR* arabic = u"\u0661";  // ARABIC-INDIC DIGIT ONE
  EXPECT_EQ(QVStrToLW(arabic, &end, 10), 0); EXPECT_EQ(end, arabic);
  EXPECT_EQ(QVStrToLW(u"1\u0132", &end, 10), 1);  // a unit whose low byte is a digit
}

TEST(TextToNumber, FloatingPoint) {
  char* narrowEnd = nullptr;
  EXPECT_DOUBLE_EQ(QVStrToDA("2.5e3x", &narrowEnd), 2500.0); EXPECT_STREQ(narrowEnd, "x");
  // Longer than the wide form's fast buffer: 300 digits.
  std::u16string longer = u"0." + std::u16string(298, u'0') + u"5";
  const struct { std::u16string text; double value; size_t used; } cases[] = {
      {u"  -1.25e2\u00e9", -125.0, 9}, {u"0x1.8p1 ", 3.0, 7}, {u"  x1", 0.0, 0}, {longer, 5e-299, 301}};
  for (auto& c : cases) {
    QVWCHAR* end = nullptr;
    EXPECT_DOUBLE_EQ(QVStrToDW(c.text.c_str(), &end), c.value); EXPECT_EQ(end, c.text.c_str() + c.used);
  }
  EXPECT_TRUE(std::isinf(QVStrToDW(u"-infinity", nullptr)));
  QVWCHAR* end = nullptr;
  EXPECT_EQ(QVStrToDW(nullptr, &end), 0.0);
}

}  // namespace

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
  EXPECT_STREQ(QVLToStrA(-255, a, 10), "-255");
  EXPECT_STREQ(QVLToStrA(-1, a, 16), "ffffffff");
  EXPECT_STREQ(QVLToStrA(255, a, 2), "11111111");
  EXPECT_STREQ(QVLToStrA(INT32_MIN, a, 10), "-2147483648");
  EXPECT_STREQ(QVLToStrA(INT32_MIN, a, 8), "20000000000");
  EXPECT_STREQ(QVLToStrA(0, a, 36), "0");
  EXPECT_STREQ(QVLToStrA(35, a, 36), "z");
  EXPECT_STREQ(QVInt64ToStrA(INT64_MIN, a, 10), "-9223372036854775808");
  EXPECT_STREQ(QVInt64ToStrA(-1, a, 16), "ffffffffffffffff");
  EXPECT_STREQ(QVInt64ToStrA(-1, a, 2), std::string(64, '1').c_str());
  EXPECT_EQ(std::u16string(QVLToStrW(-42, w, 10)), u"-42");
  EXPECT_EQ(std::u16string(QVLToStrW(-42, w, 16)), u"ffffffd6");
  EXPECT_EQ(std::u16string(QVInt64ToStrW(1234567890123LL, w, 10)), u"1234567890123");
  EXPECT_EQ(std::u16string(QVInt64ToStrW(-1, w, 36)), u"3w5e11264sgsf");
  // An impossible radix gives the empty string rather than garbage.
  std::strcpy(a, "old");
  EXPECT_STREQ(QVLToStrA(5, a, 1), "");
  EXPECT_STREQ(QVLToStrA(5, a, 37), "");
  EXPECT_EQ(QVLToStrA(5, nullptr, 10), nullptr);
}

TEST(TextToNumber, LongIsThirtyTwoBitsAndSaturates) {
  char* end = nullptr;
  errno = 0;
  EXPECT_EQ(QVStrToLA("  -123xyz", &end, 10), -123);
  EXPECT_STREQ(end, "xyz");
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(QVStrToLA("2147483648", &end, 10), INT32_MAX);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(*end, '\0');
  errno = 0;
  EXPECT_EQ(QVStrToLA("-2147483648", nullptr, 10), INT32_MIN);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(QVStrToLA("-2147483649", nullptr, 10), INT32_MIN);
  EXPECT_EQ(errno, ERANGE);
  errno = 0;
  EXPECT_EQ(QVStrToULA("4294967295", nullptr, 10), 0xFFFFFFFFu);
  EXPECT_EQ(QVStrToULA("-1", nullptr, 10), 0xFFFFFFFFu);
  EXPECT_EQ(QVStrToULA("-2", nullptr, 0), 0xFFFFFFFEu);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(QVStrToULA("4294967296", nullptr, 10), 0xFFFFFFFFu);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(QVStrToULA("-4294967296", nullptr, 10), 0xFFFFFFFFu);
}

TEST(TextToNumber, BasesPrefixesAndNoDigits) {
  char* end = nullptr;
  const char* s = "0x1Fg";
  EXPECT_EQ(QVStrToLA(s, &end, 0), 31);
  EXPECT_EQ(end, s + 4);
  EXPECT_EQ(QVStrToLA("0x1F", nullptr, 16), 31);
  EXPECT_EQ(QVStrToLA("017", nullptr, 0), 15);
  EXPECT_EQ(QVStrToLA("zz", nullptr, 36), 35 * 36 + 35);
  const char* x = "0xg";  // no hex digit: the number is the 0
  EXPECT_EQ(QVStrToLA(x, &end, 16), 0);
  EXPECT_EQ(end, x + 1);
  const char* none = "  -+5";
  EXPECT_EQ(QVStrToLA(none, &end, 10), 0);
  EXPECT_EQ(end, none);
  errno = 0;
  EXPECT_EQ(QVStrToLA("12", &end, 1), 0);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(QVStrToLA(nullptr, &end, 10), 0);
  EXPECT_EQ(end, nullptr);
}

TEST(TextToNumber, NarrowSixtyFourBitAndFloatingFormsAreTheRuntimes) {
  char* end = nullptr;
  EXPECT_EQ(QVStrToLLA("-9223372036854775808", &end, 10), INT64_MIN);
  EXPECT_EQ(QVStrToULLA("18446744073709551615", &end, 10), UINT64_MAX);
  EXPECT_EQ(QVStrToIA(" 42abc"), 42);
  EXPECT_EQ(QVStrToIA(nullptr), 0);
  EXPECT_DOUBLE_EQ(QVStrToDA("2.5e3x", &end), 2500.0);
  EXPECT_STREQ(end, "x");
}

TEST(TextToNumber, WideFormsWorkOnSixteenBitUnits) {
  QVWCHAR* end = nullptr;
  std::u16string s = u"\u3000 -77 rest";  // ideographic space is white space in a Unicode locale
  int32_t v = QVStrToLW(s.c_str(), &end, 10);
  if (std::iswspace(0x3000)) {
    EXPECT_EQ(v, -77);
    EXPECT_EQ(std::u16string(end), u" rest");
  }
  EXPECT_EQ(QVStrToLW(u"0x7fffffff", nullptr, 16), INT32_MAX);
  errno = 0;
  EXPECT_EQ(QVStrToLW(u"99999999999", nullptr, 10), INT32_MAX);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(QVStrToULW(u"-1", nullptr, 10), 0xFFFFFFFFu);
  EXPECT_EQ(QVStrToLLW(u"-9223372036854775808", nullptr, 10), INT64_MIN);
  EXPECT_EQ(QVStrToLLW(u"9223372036854775808", nullptr, 10), INT64_MAX);
  EXPECT_EQ(QVStrToI64W(u"  123456789012"), 123456789012LL);
  EXPECT_EQ(QVStrToIW(u"-45z"), -45);
  // A digit beyond ASCII is not a digit: 0x0661 is ARABIC-INDIC DIGIT ONE.
  const QVWCHAR* arabic = u"\u0661";
  EXPECT_EQ(QVStrToLW(arabic, &end, 10), 0);
  EXPECT_EQ(end, arabic);
  // A unit whose low byte is a digit must not be read as one.
  EXPECT_EQ(QVStrToLW(u"1\u0132", &end, 10), 1);
}

TEST(TextToNumber, WideFloatingPoint) {
  QVWCHAR* end = nullptr;
  std::u16string s = u"  -1.25e2\u00e9";
  EXPECT_DOUBLE_EQ(QVStrToDW(s.c_str(), &end), -125.0);
  EXPECT_EQ(end, s.c_str() + 9);
  const QVWCHAR* hex = u"0x1.8p1 ";
  EXPECT_DOUBLE_EQ(QVStrToDW(hex, &end), 3.0);
  EXPECT_EQ(end, hex + 7);
  EXPECT_TRUE(std::isinf(QVStrToDW(u"-infinity", nullptr)));
  const QVWCHAR* none = u"  x1";
  EXPECT_EQ(QVStrToDW(none, &end), 0.0);
  EXPECT_EQ(end, none);
  // Longer than the fast buffer: 300 digits.
  std::u16string longer = u"0." + std::u16string(298, u'0') + u"5";
  EXPECT_DOUBLE_EQ(QVStrToDW(longer.c_str(), &end), 5e-299);
  EXPECT_EQ(end, longer.c_str() + longer.size());
  EXPECT_EQ(QVStrToDW(nullptr, &end), 0.0);
}

}  // namespace

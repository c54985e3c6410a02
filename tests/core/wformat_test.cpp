#include <gtest/gtest.h>

#include <string>

#include "core/wformat.h"

using qv::core::FormatWide;

namespace {
template <class... Args>
std::u16string Fmt(const char16_t* format, Args... args) {
  QVWCHAR buffer[512];
  size_t n = FormatWide(buffer, 512, format, args...);
  EXPECT_EQ(buffer[n], 0);
  return std::u16string(buffer, n);
}
}  // namespace

TEST(WideFormat, StringsFollowTheWindowsMeanings) {
  EXPECT_EQ(Fmt(u"%s|%ls|%hs|%S", u"wide", u"long", "narrow", "upper-S"), u"wide|long|narrow|upper-S");
  EXPECT_EQ(Fmt(u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef"), u"[   ab][ab   ][ab]");
  EXPECT_EQ(Fmt(u"%s %hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)),
            u"(null) (null)");
  EXPECT_EQ(Fmt(u"%c%hc%C", u'W', 'n', 'C'), u"WnC");
  EXPECT_EQ(Fmt(u"%hs", "caf\xc3\xa9"), u"caf\u00e9");  // narrow text is decoded, not copied byte-wise
  EXPECT_EQ(Fmt(u"%s", u"\U0001F600"), u"\U0001F600");
}

TEST(WideFormat, IntegersWithFlagsWidthPrecisionAndSizes) {
  EXPECT_EQ(Fmt(u"%d %i %u", -42, 7, 3000000000u), u"-42 7 3000000000");
  EXPECT_EQ(Fmt(u"%x %X %#x %#X %#x", 0xabcu, 0xabcu, 0x1a2cu, 0x1a2cu, 0u), u"abc ABC 0x1a2c 0X1A2C 0");
  EXPECT_EQ(Fmt(u"[%05d][%-5d][%+d][% d][%.3d]", 42, 42, 42, 42, 7), u"[00042][42   ][+42][ 42][007]");
  EXPECT_EQ(Fmt(u"%*d|%-*d|%.*d", 4, 1, 3, 2, 3, 5), u"   1|2  |005");
  EXPECT_EQ(Fmt(u"%ld", 2147483647), u"2147483647");  // l is 32 bits, as on Windows
  EXPECT_EQ(Fmt(u"%lld %I64d %I64x", -9000000000LL, 9000000000LL, 0x123456789ULL), u"-9000000000 9000000000 123456789");
  EXPECT_EQ(Fmt(u"%hd %hu", 70000, 70000), u"4464 4464");
  EXPECT_EQ(Fmt(u"%%"), u"%");
  EXPECT_EQ(Fmt(u"%d", INT32_MIN), u"-2147483648");
  EXPECT_EQ(Fmt(u"%lld", INT64_MIN), u"-9223372036854775808");
}

TEST(WideFormat, PointerUsesTheFullWidthInUpperCase) {
  std::u16string p = Fmt(u"%p", reinterpret_cast<void*>(0xabcdef));
  EXPECT_EQ(p.size(), 2 * sizeof(void*));
  EXPECT_EQ(p.substr(p.size() - 6), u"ABCDEF");
}

TEST(WideFormat, UnknownAndTruncatedConversionsTakeNoArgument) {
  // The %y takes nothing, so the %d still gets the first argument.
  EXPECT_EQ(Fmt(u"%y %d", 5), u"%y 5");
  EXPECT_EQ(Fmt(u"%n%d", 6), u"%n6");
  EXPECT_EQ(Fmt(u"tail %"), u"tail %");
  EXPECT_EQ(Fmt(u"tail %-08"), u"tail %-08");
  EXPECT_EQ(Fmt(u"%.2f", 3.14159), u"3.14");
}

TEST(WideFormat, OutputIsCutAtTheCapacityAndAlwaysTerminated) {
  std::u16string longText(600, u'x');
  QVWCHAR buffer[512];
  size_t n = FormatWide(buffer, 512, u"%s", longText.c_str());
  EXPECT_EQ(n, 511u);
  EXPECT_EQ(buffer[511], 0);
  QVWCHAR tiny[4] = {1, 1, 1, 1};
  EXPECT_EQ(FormatWide(tiny, 3, u"%d", 123456), 2u);
  EXPECT_EQ(tiny[2], 0);
  EXPECT_EQ(tiny[3], 1);  // nothing past the capacity
  // A huge width is bounded too.
  n = FormatWide(buffer, 512, u"%99999d", 1);
  EXPECT_EQ(n, 511u);
}

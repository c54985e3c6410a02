// Conversions whose output or numbers run toward the 511-unit limit.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "core/wformat.h"
#include "os/os_thread.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

using qv::core::FormatWide;

namespace {

constexpr size_t kLimit = 511;

template <class... Args>
std::u16string Fmt(const char16_t* format, Args... args) {
  QVWCHAR buffer[kLimit + 1];
  size_t n = FormatWide(buffer, kLimit + 1, format, args...);
  EXPECT_EQ(buffer[n], 0);
  return std::u16string(buffer, n);
}

// The runtime's own narrow result, cut at the limit, widened.
std::u16string Expected(const char* format, double value) {
  char text[2048];
  std::snprintf(text, sizeof text, format, value);
  std::string s(text);
  if (s.size() > kLimit) s.resize(kLimit);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

TEST(WideFormatLongOutput, DoublesAreWrittenInFullUpToTheLimit) {
  struct Case {
    const char16_t* wide;
    const char* narrow;
    double value;
  } cases[] = {
      {u"%f", "%f", 1e300},          // 308 characters
      {u"%f", "%f", -1.7e308},       // the longest finite %f
      {u"%.80f", "%.80f", 1.0 / 3},  // 80 places
      {u"%150f", "%150f", 1.5},      // width 150
      {u"%-300.2f|", "%-300.2f|", 2.25},
      {u"%.400e", "%.400e", 1.0 / 7},  // runs past the limit: cut there
      {u"%.600f", "%.600f", 1.0},
      {u"%0600.1f", "%0600.1f", -2.5},  // wider than the limit: sign, then zeros
      {u"%900e", "%900e", 3.0},
      {u"%-900.700f|", "%-900.700f|", -1e300},
  };
  for (const Case& c : cases) {
    std::u16string got = Fmt(c.wide, c.value);
    EXPECT_EQ(got, Expected(c.narrow, c.value)) << c.narrow;
  }
  EXPECT_EQ(Fmt(u"%f", 1e300).size(), 308u);
}

TEST(WideFormatLongOutput, HugeWidthsAndPrecisionsFillToTheLimitInsteadOfWrapping) {
  // 100005 would wrap to 5 when read modulo 100000.
  // Right-aligned: the padding alone fills the limit, the digit is cut off.
  EXPECT_EQ(Fmt(u"%100005d", 7), std::u16string(kLimit, u' '));
  EXPECT_EQ(Fmt(u"%-100005d|", 7), u"7" + std::u16string(kLimit - 1, u' '));
  std::u16string p = Fmt(u"%.100005d", 7);
  EXPECT_EQ(p, std::u16string(kLimit, u'0'));
  std::u16string f = Fmt(u"%.100001f", 1.0);
  EXPECT_EQ(f, u"1." + std::u16string(kLimit - 2, u'0'));
  EXPECT_EQ(Fmt(u"%100001f", 1.0), std::u16string(kLimit, u' '));
  EXPECT_EQ(Fmt(u"%0100001f", -1.0), u"-" + std::u16string(kLimit - 1, u'0'));
  EXPECT_EQ(Fmt(u"%100001.100001e", 1e300), std::u16string(kLimit, u' '));
  // A precision that large on a string means the whole string.
  EXPECT_EQ(Fmt(u"%.100002s|%.100002hs", u"abc", "def"), u"abc|def");
  // Digits beyond what an int holds saturate rather than overflow.
  EXPECT_EQ(Fmt(u"%99999999999999999999d", 1).size(), kLimit);
}

TEST(WideFormatLongOutput, StarWidthOfTheMostNegativeIntIsALeftAlignedFill) {
  EXPECT_EQ(Fmt(u"%*d", INT_MIN, 3), u"3" + std::u16string(kLimit - 1, u' '));
  EXPECT_EQ(Fmt(u"%.*f|", INT_MIN, 0.5), u"0.500000|");  // negative precision: as if none
}

TEST(TraceLongOutput, WritesTheLineOnlyUpToItsFirstZeroUnit) {
  qvtest::StderrCapture capture;
  QVTrace(u"ab%ccd", 0);
  QVTrace(u"%s%c%s", u"x", 0, u"hidden");
  std::string out = capture.Finish();
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "[%#x]", qv::os::CurrentThreadId());
  EXPECT_EQ(out, std::string(prefix) + "ab" + prefix + "x");
}

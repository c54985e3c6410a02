#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/diag.h"
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

std::u16string Fill(size_t n, char16_t c) { return std::u16string(n, c); }

std::string Prefix() {
  char b[16];
  return std::string(b, std::snprintf(b, sizeof b, "[%#x]", qv::os::CurrentThreadId()));
}
}  // namespace

TEST(Trace, PrefixThenTheLineCutAt511UnitsOrAtAZeroUnit) {
  qvtest::StderrCapture capture;
  QVTrace(u"value=%d text=%hs", 17, "abc");
  QVTrace(u"%s", Fill(600, u'y').c_str());
  QVTrace(u"ab%ccd", 0);
  QVTrace(u"%s%c%s", u"x", 0, u"hidden");
  std::string p = Prefix();
  EXPECT_EQ(capture.Finish(), p + "value=17 text=abc" + p + std::string(511, 'y') + p + "ab" + p + "x");
}

TEST(Trace, LinesOfConcurrentThreadsNeverInterleave) {
  qvtest::StderrCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] { for (int i = 0; i < 200; ++i) QVTrace(u"<%d:%d>\n", t, i); });
  for (auto& th : threads) th.join();
  std::string out = capture.Finish();
  std::regex line(R"(\[0x[0-9a-f]+\]<\d:\d+>\n)");
  // Whole lines only: nothing is left once they are taken out.
  EXPECT_EQ(std::distance(std::sregex_iterator(out.begin(), out.end(), line), std::sregex_iterator()), 800);
  EXPECT_EQ(std::regex_replace(out, line, ""), "");
}

TEST(ErrorAlert, MethodsZeroFormatMessageAndWait) {
  qvtest::ScopedAlertMethod guard(0);
  qvtest::StderrCapture capture;
  QVErrorAlert(0, u"Caption", u"text %d", 1);  // no method, no default: nothing
  QVErrorAlert(QV_ALERT_FORMAT, u"Caption", u"value %d", 9);
  QVErrorAlert(QV_ALERT_MESSAGE, u"C", u"%s", Fill(700, u'z').c_str());
  EXPECT_EQ(capture.Finish(), "Caption: value 9\nC: " + std::string(511, 'z'));
  std::atomic<bool> returned{false};
  std::thread waiter([&] { QVErrorAlert(QV_ALERT_WAIT, u"c", u"t"); returned = true; });
  EXPECT_FALSE(qvtest::WaitUntil([&] { return returned.load(); }, std::chrono::milliseconds(30)));
  qv::core::AlertContinue();
  waiter.join();
  EXPECT_FALSE(qv::core::AlertContinuePending());  // the waiter cleared the flag
}

TEST(Assert, FormatsWithADefaultMethodElseBreaksIntoTheDebugger) {
  {
    qvtest::ScopedAlertMethod guard(QV_ALERT_FORMAT);
    qvtest::StderrCapture capture;
    QVAssert("x > 0", "file.c", 12);  // would end the process if it trapped
    EXPECT_EQ(capture.Finish(), Prefix() + "\nQV_ASSERT(x > 0)\n file.c:12\nQuovane Services: Quovane Services Debug "
                                           "Assertion Failed!\n\nFile: file.c\nLine: 12\n\nExpression: x > 0\n");
  }
  qvtest::ScopedAlertMethod guard(0);
  qvtest::StderrCapture capture;
  EXPECT_EQ(qvtest::CountTraps([] { QVAssert("ok", "f.c", 1); }), 1);
  EXPECT_EQ(qvtest::CountTraps([] { QVDebugBreak(); }), 1);
}

TEST(WideFormat, StringsFollowTheWindowsMeanings) {
  EXPECT_EQ(Fmt(u"%s|%ls|%hs|%S", u"wide", u"long", "narrow", "upper-S"), u"wide|long|narrow|upper-S");
  EXPECT_EQ(Fmt(u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef"), u"[   ab][ab   ][ab]");
  EXPECT_EQ(Fmt(u"%s %hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)), u"(null) (null)");
  EXPECT_EQ(Fmt(u"%c%hc%C", u'W', 'n', 'C'), u"WnC");
  EXPECT_EQ(Fmt(u"%hs|%s", "caf\xc3\xa9", u"\U0001F600"), u"caf\u00e9|\U0001F600");  // narrow text is decoded
}

TEST(WideFormat, IntegersWithFlagsWidthPrecisionAndSizesAndUnknownConversions) {
  EXPECT_EQ(Fmt(u"%d %i %u", -42, 7, 3000000000u), u"-42 7 3000000000");
  EXPECT_EQ(Fmt(u"%x %X %#x %#X %#x", 0xabcu, 0xabcu, 0x1a2cu, 0x1a2cu, 0u), u"abc ABC 0x1a2c 0X1A2C 0");
  EXPECT_EQ(Fmt(u"[%05d][%-5d][%+d][% d][%.3d]", 42, 42, 42, 42, 7), u"[00042][42   ][+42][ 42][007]");
  EXPECT_EQ(Fmt(u"%*d|%-*d|%.*d", 4, 1, 3, 2, 3, 5), u"   1|2  |005");
  EXPECT_EQ(Fmt(u"%ld %hd %hu %%", 2147483647, 70000, 70000), u"2147483647 4464 4464 %");  // l is 32 bits
  EXPECT_EQ(Fmt(u"%lld %I64d %I64x", -9000000000LL, 9000000000LL, 0x123456789ULL), u"-9000000000 9000000000 123456789");
  EXPECT_EQ(Fmt(u"%d %lld", INT32_MIN, INT64_MIN), u"-2147483648 -9223372036854775808");
  EXPECT_EQ(Fmt(u"%p", reinterpret_cast<void*>(0xabcdef)), Fill(2 * sizeof(void*) - 6, u'0') + u"ABCDEF");
  // Unknown and truncated conversions take no argument.
  EXPECT_EQ(Fmt(u"%y %d|%n%d", 5, 6), u"%y 5|%n6");
  EXPECT_EQ(Fmt(u"tail %"), u"tail %");
  EXPECT_EQ(Fmt(u"tail %-08"), u"tail %-08");
}

TEST(WideFormat, LongOutputIsWrittenUpToTheLimitAndHugeWidthsSaturate) {
  const std::pair<std::string, double> cases[] = {{"%.2f", 3.14159}, {"%f", 1e300}, {"%f", -1.7e308},
      {"%.80f", 1.0 / 3}, {"%150f", 1.5}, {"%-300.2f|", 2.25}, {"%.400e", 1.0 / 7}, {"%.600f", 1.0},
      {"%0600.1f", -2.5}, {"%900e", 3.0}, {"%-900.700f|", -1e300}};
  for (const auto& [format, value] : cases) {
    char text[2048];
    std::snprintf(text, sizeof text, format.c_str(), value);
    std::string s(text, std::min(std::strlen(text), kLimit));  // the runtime's own result, cut at the limit
    std::u16string wide(format.begin(), format.end());
    EXPECT_EQ(Fmt(wide.c_str(), value), std::u16string(s.begin(), s.end())) << format;
  }
  EXPECT_EQ(Fmt(u"%s", Fill(600, u'x').c_str()), Fill(kLimit, u'x'));
  QVWCHAR tiny[4] = {1, 1, 1, 1};
  EXPECT_EQ(FormatWide(tiny, 3, u"%d", 123456), 2u);
  EXPECT_EQ(std::u16string(tiny, 4), std::u16string(u"12\0\1", 4));  // nothing past the capacity
  // 100005 would wrap to 5 when read modulo 100000.
  EXPECT_EQ(Fmt(u"%100005d", 7), Fill(kLimit, u' '));
  EXPECT_EQ(Fmt(u"%-100005d|", 7), u"7" + Fill(kLimit - 1, u' '));
  EXPECT_EQ(Fmt(u"%.100005d", 7), Fill(kLimit, u'0'));
  EXPECT_EQ(Fmt(u"%.100001f", 1.0), u"1." + Fill(kLimit - 2, u'0'));
  EXPECT_EQ(Fmt(u"%100001f", 1.0), Fill(kLimit, u' '));
  EXPECT_EQ(Fmt(u"%0100001f", -1.0), u"-" + Fill(kLimit - 1, u'0'));
  EXPECT_EQ(Fmt(u"%100001.100001e", 1e300), Fill(kLimit, u' '));
  EXPECT_EQ(Fmt(u"%.100002s|%.100002hs", u"abc", "def"), u"abc|def");
  EXPECT_EQ(Fmt(u"%99999999999999999999d", 1).size(), kLimit);  // digits beyond an int saturate
  EXPECT_EQ(Fmt(u"%*d", INT_MIN, 3), u"3" + Fill(kLimit - 1, u' '));
  EXPECT_EQ(Fmt(u"%.*f|", INT_MIN, 0.5), u"0.500000|");  // negative precision: as if none
}

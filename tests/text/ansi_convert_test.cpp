#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"
#include "text/text_locale.h"
#include "text/wide_narrow.h"

namespace {

constexpr size_t kFailed = static_cast<size_t>(-1);

// The source in a heap block of exactly its size, so reading past the
// terminator shows under the address sanitizer.
std::unique_ptr<char[]> Exact(const char* s) {
  size_t n = std::strlen(s) + 1;
  auto p = std::make_unique<char[]>(n);
  std::memcpy(p.get(), s, n);
  return p;
}

TEST(AnsiToUnicode, AsciiIsCopiedAndCappedAtTheCapacity) {
  std::vector<QVWCHAR> buf(8, 0x7777);
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), "abcdef", 3), 3u);
  EXPECT_EQ(std::u16string(buf.data(), 3), u"abc");
  EXPECT_EQ(buf[3], 0x7777);  // no terminator
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), "ab", 3), 2u);
  EXPECT_EQ(std::u16string(buf.data()), u"ab");
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), "abc", 0), 0u);
  EXPECT_EQ(QVAnsiToUnicode(nullptr, "abcdef", 0), 6u);
  std::string longText(1000, 'q');
  std::vector<QVWCHAR> big(1001);
  EXPECT_EQ(QVAnsiToUnicode(big.data(), longText.c_str(), big.size()), 1000u);
  EXPECT_EQ(std::u16string(big.data()), std::u16string(1000, u'q'));
}

TEST(AnsiToUnicode, MultibyteTextBecomesUtf16) {
  // The suite runs in a UTF-8 locale (the library falls back to C.UTF-8).
  auto text = Exact("a\xC3\xA9\xF0\x9F\x98\x80z");
  EXPECT_EQ(QVAnsiToUnicode(nullptr, text.get(), 0), 5u);
  std::vector<QVWCHAR> buf(8, 0x7777);
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), text.get(), 8), 5u);
  EXPECT_EQ(std::u16string(buf.data()), u"a\u00e9\U0001F600z");
  // One unit of room for a pair: the pair is not split.
  std::fill(buf.begin(), buf.end(), 0x7777);
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), text.get(), 3), 2u);
  EXPECT_EQ(buf[2], 0x7777);
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), text.get(), 2), 2u);
  EXPECT_EQ(buf[2], 0x7777);
}

TEST(AnsiToUnicode, BadOrCutSequencesFailWithoutReadingPastTheEnd) {
  QVWCHAR buf[16];
  // The last two: the C runtime decodes the old five- and six-byte forms to
  // values beyond U+10FFFF, which UTF-16 cannot hold (found by fuzzing).
  for (const char* bad : {"a\xFF" "b", "a\xE2\x82", "\xC3", "ok\xF0\x9F\x98", "\xED\xA0\x80", "\xFB\x92\x92\x92\x92",
                          "x\xFD\xBF\xBF\xBF\xBF\xBF"}) {
    auto text = Exact(bad);
    EXPECT_EQ(QVAnsiToUnicode(buf, text.get(), 16), kFailed) << bad;
    EXPECT_EQ(QVAnsiToUnicode(nullptr, text.get(), 0), kFailed) << bad;
  }
  EXPECT_EQ(QVAnsiToUnicode(buf, nullptr, 16), kFailed);
}

TEST(UnicodeToAnsi, ConvertsCountsAndRefusesUnpairedSurrogates) {
  char out[16];
  EXPECT_EQ(QVUnicodeToAnsi(nullptr, u"a\u00e9\U0001F600", 0), 7u);
  EXPECT_EQ(QVUnicodeToAnsi(out, u"a\u00e9\U0001F600", sizeof out), 7u);
  EXPECT_STREQ(out, "a\xC3\xA9\xF0\x9F\x98\x80");
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(QVUnicodeToAnsi(out, u"a\u00e9", 2), 1u);  // the two bytes of e-acute do not fit
  EXPECT_EQ(out[1], 'x');
  EXPECT_EQ(QVUnicodeToAnsi(out, u"abc", 3), 3u);
  EXPECT_EQ(out[3], 'x');
  const QVWCHAR lone[] = {u'a', 0xDC00, 0};
  EXPECT_EQ(QVUnicodeToAnsi(out, lone, sizeof out), kFailed);
  EXPECT_EQ(QVUnicodeToAnsi(nullptr, lone, 0), kFailed);
  const QVWCHAR cut[] = {u'a', 0xD800, 0};
  EXPECT_EQ(QVUnicodeToAnsi(out, cut, sizeof out), kFailed);
  EXPECT_EQ(QVUnicodeToAnsi(out, nullptr, sizeof out), kFailed);
}

TEST(AnsiConversions, FollowASingleByteLocale) {
  qvtest::ScopedLatin1Locale latin1;
  if (!latin1.available()) GTEST_SKIP() << "localedef could not build a Latin-1 locale";
  QVWCHAR wide[8];
  EXPECT_EQ(QVAnsiToUnicode(wide, "x\xE4", 8), 2u);
  EXPECT_EQ(std::u16string(wide), u"x\u00e4");
  char narrow[8];
  EXPECT_EQ(QVUnicodeToAnsi(narrow, u"\u00e4", 8), 1u);
  EXPECT_STREQ(narrow, "\xE4");
  EXPECT_EQ(QVUnicodeToAnsi(narrow, u"\u20ac", 8), kFailed);
  EXPECT_EQ(qv::text::WideToNarrow(u"\u20ac\u00e4"), "?\xE4");
  EXPECT_EQ(qv::text::NarrowToWide("\xE4\xFF"), u"\u00e4\u00ff");
}

TEST(WholeStringConversions, NeverFailAndFormSurrogatePairs) {
  using qv::text::NarrowToWide;
  using qv::text::WideToNarrow;
  EXPECT_EQ(NarrowToWide(""), u"");
  EXPECT_EQ(NarrowToWide(static_cast<const char*>(nullptr)), u"");
  EXPECT_EQ(NarrowToWide("host-01"), u"host-01");
  EXPECT_EQ(NarrowToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(NarrowToWide("a\xFF" "b\xE2\x82"), u"a\ufffdb\ufffd\ufffd");
  EXPECT_EQ(NarrowToWide("\xFB\x92\x92\x92\x92"), u"\ufffd");
  EXPECT_EQ(NarrowToWide(std::string_view("a\0\xC3\xA9", 4)), std::u16string(u"a\0\u00e9", 3));
  EXPECT_EQ(WideToNarrow(std::u16string_view(u"\u00e9\0b", 3)), std::string("\xC3\xA9\0b", 4));
  EXPECT_EQ(WideToNarrow(u"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToNarrow(static_cast<const QVWCHAR*>(nullptr)), "");
  const QVWCHAR lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(WideToNarrow(lone), "a\xEF\xBF\xBD" "b");  // U+FFFD, as the Windows UTF-8 conversion
  std::string longAscii(5000, 'k');
  EXPECT_EQ(WideToNarrow(NarrowToWide(longAscii)), longAscii);
}

TEST(WholeStringConversions, BufferFormsStopBeforeACharacterThatDoesNotFit) {
  QVWCHAR wide[3];
  EXPECT_EQ(qv::text::NarrowToWideBuffer("ab\xF0\x9F\x98\x80", SIZE_MAX, wide, 3), 2u);
  EXPECT_EQ(qv::text::NarrowToWideBuffer("abcdef", 4, wide, 3), 3u);
  char narrow[4];
  EXPECT_EQ(qv::text::WideToNarrowBuffer(u"ab\u00e9", 3, narrow, 3), 2u);
  EXPECT_EQ(qv::text::WideToNarrowBuffer(u"abcd", 4, narrow, 4), 4u);
}

}  // namespace

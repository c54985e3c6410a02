#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"
#include "text/wide_narrow.h"

namespace {

constexpr size_t kFailed = static_cast<size_t>(-1);
using namespace qv::text;

// The source in a heap block of exactly its size, so reading past the
// terminator shows under the address sanitizer.
std::vector<char> Exact(const char* s) { return std::vector<char>(s, s + std::strlen(s) + 1); }

class Ansi : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    GTEST_SKIP() << "pins the runtime's narrow encoding to UTF-8; on Windows it is the ANSI code page";
#endif
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  }
  void TearDown() override { std::setlocale(LC_CTYPE, m_saved.c_str()); }
  std::string m_saved = std::setlocale(LC_CTYPE, nullptr);
};

TEST_F(Ansi, ToUnicodeCopiesMeasuresAndStopsAtTheCapacity) {
  std::vector<QVWCHAR> buf(8, 0x7777); EXPECT_EQ(QVAnsiToUnicode(buf.data(), "abcdef", 3), 3u);
  EXPECT_EQ(std::u16string(buf.data(), 4), u"abc\u7777");  // no terminator
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), "ab", 3), 2u); EXPECT_EQ(std::u16string(buf.data()), u"ab");
  EXPECT_EQ(QVAnsiToUnicode(buf.data(), "abc", 0), 0u); EXPECT_EQ(QVAnsiToUnicode(nullptr, "abcdef", 0), 6u);
  std::vector<QVWCHAR> big(1001); EXPECT_EQ(QVAnsiToUnicode(big.data(), std::string(1000, 'q').c_str(), 1001), 1000u);
  EXPECT_EQ(std::u16string(big.data()), std::u16string(1000, u'q'));
  auto text = Exact("a\xC3\xA9\xF0\x9F\x98\x80z");
  EXPECT_EQ(QVAnsiToUnicode(nullptr, text.data(), 0), 5u); EXPECT_EQ(QVAnsiToUnicode(buf.data(), text.data(), 8), 5u);
  EXPECT_EQ(std::u16string(buf.data()), u"a\u00e9\U0001F600z");
  // One or no unit of room for a pair: the pair is not split.
  for (size_t capacity : {3u, 2u}) {
    std::fill(buf.begin(), buf.end(), 0x7777);
    EXPECT_EQ(QVAnsiToUnicode(buf.data(), text.data(), capacity), 2u); EXPECT_EQ(buf[2], 0x7777);
  }
}

TEST_F(Ansi, BadInputFailsWithEilseqWithoutReadingPastTheEndAndFromUnicodeCounts) {
  // The old five- and six-byte forms decode in the C runtime to values beyond
  // U+10FFFF, which UTF-16 cannot hold (found by fuzzing).
  QVWCHAR buf[16];
  for (const char* bad : {"a\xFF" "b", "\xFF", "a\xE2\x82", "\xC3", "ab\xC3", "ok\xF0\x9F\x98", "\xED\xA0\x80",
                          "\xFB\x92\x92\x92\x92", "x\xFD\xBF\xBF\xBF\xBF\xBF", "a\xF8\x88\x80\x80\x80",
                          "\xFC\x84\x80\x80\x80\x80"}) {
    auto text = Exact(bad);
    for (QVWCHAR* out : {buf, static_cast<QVWCHAR*>(nullptr)}) {
      errno = 0;
      EXPECT_EQ(QVAnsiToUnicode(out, text.data(), out ? 16 : 0), kFailed) << bad; EXPECT_EQ(errno, EILSEQ) << bad;
    }
  }
  EXPECT_EQ(QVAnsiToUnicode(buf, nullptr, 16), kFailed);
  char out[16]; EXPECT_EQ(QVUnicodeToAnsi(nullptr, u"a\u00e9\U0001F600", 0), 7u);
  EXPECT_EQ(QVUnicodeToAnsi(out, u"a\u00e9\U0001F600", sizeof out), 7u); EXPECT_STREQ(out, "a\xC3\xA9\xF0\x9F\x98\x80");
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(QVUnicodeToAnsi(out, u"a\u00e9", 2), 1u);  // the two bytes of e-acute do not fit
  EXPECT_EQ(out[1], 'x'); EXPECT_EQ(QVUnicodeToAnsi(out, u"abc", 3), 3u); EXPECT_EQ(out[3], 'x');
  // The last one: after a character the runtime already encoded.
  const QVWCHAR bad[][4] = {{u'a', 0xDC00}, {0xDC00}, {u'a', 0xD800}, {u'a', 0xD800, u'b'}, {u'\u00e9', 0xDBFF}};
  for (const QVWCHAR* text : bad)
    for (char* dest : {out, static_cast<char*>(nullptr)}) {
      errno = 0;
      EXPECT_EQ(QVUnicodeToAnsi(dest, text, dest ? sizeof out : 0), kFailed) << int(text[1]); EXPECT_EQ(errno, EILSEQ);
    }
  EXPECT_EQ(QVUnicodeToAnsi(out, nullptr, sizeof out), kFailed);
}

TEST(WholeStringConversions, NeverFailAndFormSurrogatePairs) {
#if defined(_WIN32)
  GTEST_SKIP() << "expects a UTF-8 narrow runtime; on Windows narrow text is in the ANSI code page";
#endif
  EXPECT_EQ(NarrowToWide(""), u""); EXPECT_EQ(NarrowToWide(static_cast<const char*>(nullptr)), u"");
  EXPECT_EQ(NarrowToWide("\xF0\x9F\x98\x80"), u"\U0001F600"); EXPECT_EQ(NarrowToWide("\xFB\x92\x92\x92\x92"), u"\ufffd");
  EXPECT_EQ(NarrowToWide("a\xFF" "b\xE2\x82"), u"a\ufffdb\ufffd\ufffd");
  EXPECT_EQ(NarrowToWide(std::string_view("a\0\xC3\xA9", 4)), std::u16string(u"a\0\u00e9", 3));
  EXPECT_EQ(WideToNarrow(std::u16string_view(u"\u00e9\0b", 3)), std::string("\xC3\xA9\0b", 4));
  EXPECT_EQ(WideToNarrow(u"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToNarrow(static_cast<const QVWCHAR*>(nullptr)), ""); const QVWCHAR lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(WideToNarrow(lone), "a\xEF\xBF\xBD" "b");  // U+FFFD, as the Windows UTF-8 conversion
  EXPECT_EQ(WideToNarrow(NarrowToWide(std::string(5000, 'k'))), std::string(5000, 'k'));
  // The buffer forms stop before a character that does not fit.
  QVWCHAR wide[3]; char narrow[4];
  EXPECT_EQ(NarrowToWideBuffer("ab\xF0\x9F\x98\x80", SIZE_MAX, wide, 3), 2u);
  EXPECT_EQ(NarrowToWideBuffer("abcdef", 4, wide, 3), 3u);
  EXPECT_EQ(WideToNarrowBuffer(u"ab\u00e9", 3, narrow, 3), 2u); EXPECT_EQ(WideToNarrowBuffer(u"abcd", 4, narrow, 4), 4u);
}

const char kUtf8[] = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80!";
const char16_t kUtf16[] = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600!";
const int32_t kUtf8Len = sizeof kUtf8 - 1, kUtf16Len = std::size(kUtf16) - 1;

TEST(Utf, ConvertsMeasuresCutsAtTheCapacityAndFailsOnIllFormedInputWithEilseq) {
  EXPECT_EQ(QVUTF16ToUTF8(nullptr, kUtf16, 0), kUtf8Len); EXPECT_EQ(QVUTF8ToUTF16(nullptr, kUtf8, 0), kUtf16Len);
  char narrow[64]; EXPECT_EQ(QVUTF16ToUTF8(narrow, kUtf16, sizeof narrow), kUtf8Len); EXPECT_STREQ(narrow, kUtf8);
  std::vector<QVWCHAR> buf(64, 0x7777);
  EXPECT_EQ(QVUTF8ToUTF16(buf.data(), kUtf8, 64), kUtf16Len); EXPECT_EQ(std::u16string(buf.data()), kUtf16);
  // Exactly the length: no terminator.
  std::fill(buf.begin(), buf.end(), 0x7777);
  EXPECT_EQ(QVUTF8ToUTF16(buf.data() + 1, "abcd", 4), 4); EXPECT_EQ(std::u16string(buf.data(), 6), u"\u7777abcd\u7777");
  // Too small: the full length comes back, nothing beyond the capacity is written.
  EXPECT_EQ(QVUTF8ToUTF16(buf.data() + 1, kUtf8, 5), kUtf16Len); EXPECT_EQ(buf[0], 0x7777); EXPECT_EQ(buf[6], 0x7777);
  std::memset(narrow, 'x', sizeof narrow);
  EXPECT_EQ(QVUTF16ToUTF8(narrow, u"\u00e9\u00e9\u00e9", 4), 6); EXPECT_EQ(narrow[4], 'x');
  const QVWCHAR lead[] = {u'a', 0xD800, 0}, trail[] = {0xDC00, u'a', 0}; char out[16];
  errno = 0; EXPECT_EQ(QVUTF16ToUTF8(out, lead, 16), 16); EXPECT_EQ(errno, EILSEQ);
  EXPECT_EQ(QVUTF16ToUTF8(out, trail, 9), 9); EXPECT_EQ(QVUTF16ToUTF8(nullptr, lead, 0), 0);
  int32_t length = 99; errno = 0;
  EXPECT_EQ(QVUTF16ToUTF8N(out, 16, &length, lead, -1), nullptr); EXPECT_EQ(errno, EILSEQ); EXPECT_EQ(length, 0);
  QVWCHAR wide[16];
  for (const char* bad : {"\xE2\x82", "a\xFF", "\xC0\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80",
                          "x\xF0\x9F\x98", "x\xF8\x88\x80\x80\x80"}) {
    errno = 0; EXPECT_EQ(QVUTF8ToUTF16(wide, bad, 16), 16) << bad; EXPECT_EQ(errno, EILSEQ) << bad;
    errno = 0; EXPECT_EQ(QVUTF8ToUTF16N(wide, 16, nullptr, bad, -1), nullptr) << bad; EXPECT_EQ(errno, EILSEQ) << bad;
  }
  EXPECT_EQ(QVUTF8ToUTF16(wide, nullptr, 16), 16);
  EXPECT_EQ(QVUTF8ToUTF16(nullptr, "abc", 5), 5);  // null destination with room: refused
  errno = 0; EXPECT_EQ(QVUTF8ToUTF16(wide, "ok", 16), 2); EXPECT_EQ(errno, 0);  // success leaves errno alone
}

TEST(Utf, CountedFormsNextCharacterCountAndByteOrderMark) {
  // The source is exactly as long as its length, without a terminator.
  std::vector<char> utf8{'a', 'b', '\xC3'}; std::vector<QVWCHAR> utf16{u'z', 0xD83D}; QVWCHAR wide[8];
  int32_t length = -5;
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, utf8.data(), 2), wide); EXPECT_EQ(length, 2); EXPECT_EQ(std::u16string(wide), u"ab");
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, utf8.data(), 3), nullptr);  // cut sequence
  char narrow[8]; EXPECT_EQ(QVUTF16ToUTF8N(narrow, 8, &length, utf16.data(), 1), narrow); EXPECT_EQ(length, 1);
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 8, &length, utf16.data(), 2), nullptr);
  // Too small: the destination comes back, the length says what was needed.
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 1, &length, u"\u00e9", -1), narrow); EXPECT_EQ(length, 2);
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, "abc", -2), nullptr);
  const QVWCHAR text[] = {0xD83D, 0xDE00, u'A', 0xD83D, 0};
  const struct { int32_t limit, from; uint32_t c; int32_t to; } steps[] = {
      {-1, 0, 0x1F600, 2}, {1, 0, 0xD83D, 1}, {0, 0, 0, 0}, {-7, 0, 0, 0}, {5, 2, 'A', 3}, {-1, 3, 0xD83D, 4}};
  for (auto s : steps) {
    const QVWCHAR* p = text + s.from;
    EXPECT_EQ(QVNextCharUTF16(&p, s.limit), s.c) << s.limit << " " << s.from; EXPECT_EQ(p, text + s.to) << s.limit;
  }
  const QVWCHAR* none = nullptr; EXPECT_EQ(QVNextCharUTF16(nullptr, 2), 0u); EXPECT_EQ(QVNextCharUTF16(&none, 2), 0u);
  const QVWCHAR reversed[] = {0xDC00, 0xD800, 0};
  EXPECT_EQ(QVCountCharUTF16(u"\U0001F600A"), 2); EXPECT_EQ(QVCountCharUTF16(reversed), 2);
  EXPECT_EQ(QVCountCharUTF16(nullptr), 0); EXPECT_EQ(QVCountCharUTF16(u""), 0);
  EXPECT_EQ(std::memcmp(QVUtf8BomStr, "\xEF\xBB\xBF\0", 4), 0);
  for (auto [text, is] : {std::pair<const char*, int>{"\xEF\xBB\xBFtext", 1}, {"\xEF\xBB\xBF", 1}, {"", 0},
                          {"\xEF\xBB", 0}, {"\xEF\xBC\xBF", 0}, {nullptr, 0}})
    EXPECT_EQ(QVIsUtf8BomStr(text), is) << (text ? text : "null");
}

}  // namespace

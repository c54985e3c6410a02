#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"

namespace {

const char kUtf8[] = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80!";
const char16_t kUtf16[] = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600!";
const int32_t kUtf8Len = sizeof kUtf8 - 1, kUtf16Len = std::size(kUtf16) - 1;

TEST(Utf, ConvertsBothWaysMeasuresAndCutsAtTheCapacity) {
  EXPECT_EQ(QVUTF16ToUTF8(nullptr, kUtf16, 0), kUtf8Len); EXPECT_EQ(QVUTF8ToUTF16(nullptr, kUtf8, 0), kUtf16Len);
  char narrow[64];
  EXPECT_EQ(QVUTF16ToUTF8(narrow, kUtf16, sizeof narrow), kUtf8Len); EXPECT_STREQ(narrow, kUtf8);
  std::vector<QVWCHAR> buf(64, 0x7777);
  EXPECT_EQ(QVUTF8ToUTF16(buf.data(), kUtf8, 64), kUtf16Len); EXPECT_EQ(std::u16string(buf.data()), kUtf16);
  // Exactly the length: no terminator.
  std::fill(buf.begin(), buf.end(), 0x7777);
  EXPECT_EQ(QVUTF8ToUTF16(buf.data() + 1, "abcd", 4), 4); EXPECT_EQ(std::u16string(buf.data(), 6), u"\u7777abcd\u7777");
  // Too small: the full length comes back, nothing beyond the capacity is written.
  EXPECT_EQ(QVUTF8ToUTF16(buf.data() + 1, kUtf8, 5), kUtf16Len); EXPECT_EQ(buf[0], 0x7777); EXPECT_EQ(buf[6], 0x7777);
  std::memset(narrow, 'x', sizeof narrow);
  EXPECT_EQ(QVUTF16ToUTF8(narrow, u"\u00e9\u00e9\u00e9", 4), 6); EXPECT_EQ(narrow[4], 'x');
}

TEST(Utf, IllFormedInputFailsWithTheCapacityAndEilseq) {
  const QVWCHAR lead[] = {u'a', 0xD800, 0}, trail[] = {0xDC00, u'a', 0};
  char out[16];
  errno = 0;
  EXPECT_EQ(QVUTF16ToUTF8(out, lead, 16), 16); EXPECT_EQ(errno, EILSEQ); EXPECT_EQ(QVUTF16ToUTF8(out, trail, 9), 9);
  EXPECT_EQ(QVUTF16ToUTF8(nullptr, lead, 0), 0);
  int32_t length = 99;
  errno = 0;
  EXPECT_EQ(QVUTF16ToUTF8N(out, 16, &length, lead, -1), nullptr); EXPECT_EQ(errno, EILSEQ); EXPECT_EQ(length, 0);

  QVWCHAR wide[16];
  for (const char* bad : {"\xE2\x82", "a\xFF", "\xC0\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80",
                          "x\xF0\x9F\x98", "x\xF8\x88\x80\x80\x80"}) {
    errno = 0;
    EXPECT_EQ(QVUTF8ToUTF16(wide, bad, 16), 16) << bad; EXPECT_EQ(errno, EILSEQ) << bad;
    errno = 0;
    EXPECT_EQ(QVUTF8ToUTF16N(wide, 16, nullptr, bad, -1), nullptr) << bad; EXPECT_EQ(errno, EILSEQ) << bad;
  }
  EXPECT_EQ(QVUTF8ToUTF16(wide, nullptr, 16), 16);
  EXPECT_EQ(QVUTF8ToUTF16(nullptr, "abc", 5), 5);  // null destination with room: refused
  errno = 0;  // success leaves errno alone
  EXPECT_EQ(QVUTF8ToUTF16(wide, "ok", 16), 2); EXPECT_EQ(errno, 0);
}

TEST(Utf, CountedFormsStopAtTheGivenLength) {
  // The source is exactly as long as its length, without a terminator.
  std::vector<char> utf8{'a', 'b', '\xC3'};
  std::vector<QVWCHAR> utf16{u'z', 0xD83D};
  QVWCHAR wide[8];
  int32_t length = -5;
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, utf8.data(), 2), wide); EXPECT_EQ(length, 2); EXPECT_EQ(std::u16string(wide), u"ab");
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, utf8.data(), 3), nullptr);  // cut sequence
  char narrow[8];
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 8, &length, utf16.data(), 1), narrow); EXPECT_EQ(length, 1);
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 8, &length, utf16.data(), 2), nullptr);
  // Too small: the destination comes back, the length says what was needed.
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 1, &length, u"\u00e9", -1), narrow); EXPECT_EQ(length, 2);
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, "abc", -2), nullptr);
}

TEST(Utf, NextCharacterCountAndByteOrderMark) {
  const QVWCHAR text[] = {0xD83D, 0xDE00, u'A', 0xD83D, 0};
  const struct { int32_t limit, from; uint32_t c; int32_t to; } steps[] = {
      {-1, 0, 0x1F600, 2}, {1, 0, 0xD83D, 1}, {0, 0, 0, 0}, {-7, 0, 0, 0}, {5, 2, 'A', 3}, {-1, 3, 0xD83D, 4}};
  for (auto s : steps) {
    const QVWCHAR* p = text + s.from;
    EXPECT_EQ(QVNextCharUTF16(&p, s.limit), s.c) << s.limit << " " << s.from; EXPECT_EQ(p, text + s.to) << s.limit;
  }
  const QVWCHAR* none = nullptr;
  EXPECT_EQ(QVNextCharUTF16(nullptr, 2), 0u); EXPECT_EQ(QVNextCharUTF16(&none, 2), 0u);

  const QVWCHAR reversed[] = {0xDC00, 0xD800, 0};
  EXPECT_EQ(QVCountCharUTF16(u"\U0001F600A"), 2); EXPECT_EQ(QVCountCharUTF16(reversed), 2);
  EXPECT_EQ(QVCountCharUTF16(nullptr), 0); EXPECT_EQ(QVCountCharUTF16(u""), 0);

  EXPECT_EQ(std::memcmp(QVUtf8BomStr, "\xEF\xBB\xBF\0", 4), 0);
  for (auto [text, is] : {std::pair<const char*, int>{"\xEF\xBB\xBFtext", 1}, {"\xEF\xBB\xBF", 1}, {"", 0},
                          {"\xEF\xBB", 0}, {"\xEF\xBC\xBF", 0}, {nullptr, 0}})
    EXPECT_EQ(QVIsUtf8BomStr(text), is) << (text ? text : "null");
}

}  // namespace

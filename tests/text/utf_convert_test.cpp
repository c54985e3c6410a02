#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"

namespace {

const char kMixedUtf8[] = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80!";
const char16_t kMixedUtf16[] = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600!";

TEST(Utf, ConvertsBothWaysAndMeasuresWithANullDestination) {
  EXPECT_EQ(QVUTF16ToUTF8(nullptr, u"\u00e9", 0), 2);
  EXPECT_EQ(QVUTF16ToUTF8(nullptr, kMixedUtf16, 0), static_cast<int32_t>(std::strlen(kMixedUtf8)));
  EXPECT_EQ(QVUTF8ToUTF16(nullptr, kMixedUtf8, 0), static_cast<int32_t>(std::char_traits<char16_t>::length(kMixedUtf16)));
  char narrow[64];
  QVWCHAR wide[64];
  int32_t n = QVUTF16ToUTF8(narrow, kMixedUtf16, sizeof narrow);
  EXPECT_EQ(n, static_cast<int32_t>(std::strlen(kMixedUtf8)));
  EXPECT_STREQ(narrow, kMixedUtf8);
  int32_t w = QVUTF8ToUTF16(wide, kMixedUtf8, 64);
  EXPECT_EQ(std::u16string(wide, w), kMixedUtf16);
  EXPECT_EQ(wide[w], 0);
}

TEST(Utf, OutputIsCutAtTheCapacityAndTheFullLengthReported) {
  std::vector<QVWCHAR> buf(12, 0x7777);
  int32_t total = static_cast<int32_t>(std::char_traits<char16_t>::length(kMixedUtf16));
  // Exactly the length: no terminator.
  EXPECT_EQ(QVUTF8ToUTF16(buf.data() + 1, "abcd", 4), 4);
  EXPECT_EQ(std::u16string(buf.data() + 1, 4), u"abcd");
  EXPECT_EQ(buf[5], 0x7777);
  // Too small: the full length comes back, nothing beyond the capacity is written.
  std::fill(buf.begin(), buf.end(), 0x7777);
  EXPECT_EQ(QVUTF8ToUTF16(buf.data() + 1, kMixedUtf8, 5), total);
  EXPECT_EQ(buf[0], 0x7777);
  EXPECT_EQ(buf[6], 0x7777);
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(QVUTF16ToUTF8(small, u"\u00e9\u00e9\u00e9", 4), 6);
  EXPECT_EQ(small[4], 'x');
}

TEST(Utf, IllFormedInputFailsWithTheCapacity) {
  const QVWCHAR lead[] = {u'a', 0xD800, 0};
  const QVWCHAR trail[] = {0xDC00, u'a', 0};
  char out[16];
  EXPECT_EQ(QVUTF16ToUTF8(out, lead, 16), 16);
  EXPECT_EQ(QVUTF16ToUTF8(out, trail, 9), 9);
  EXPECT_EQ(QVUTF16ToUTF8(nullptr, lead, 0), 0);
  int32_t length = 99;
  EXPECT_EQ(QVUTF16ToUTF8N(out, 16, &length, lead, -1), nullptr);
  EXPECT_EQ(length, 0);

  QVWCHAR wide[16];
  for (const char* bad : {"\xE2\x82", "a\xFF", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "x\xF0\x9F\x98"}) {
    EXPECT_EQ(QVUTF8ToUTF16(wide, bad, 16), 16) << bad;
    EXPECT_EQ(QVUTF8ToUTF16N(wide, 16, nullptr, bad, -1), nullptr) << bad;
  }
  EXPECT_EQ(QVUTF8ToUTF16(wide, nullptr, 16), 16);
  EXPECT_EQ(QVUTF8ToUTF16(nullptr, "abc", 5), 5);  // null destination with room: refused
}

TEST(Utf, CountedFormsStopAtTheGivenLength) {
  // The source is exactly as long as its length, without a terminator.
  auto utf8 = std::make_unique<char[]>(3);
  std::memcpy(utf8.get(), "ab\xC3", 3);
  QVWCHAR wide[8];
  int32_t length = -5;
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, utf8.get(), 2), wide);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(std::u16string(wide), u"ab");
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, utf8.get(), 3), nullptr);  // cut sequence

  auto utf16 = std::make_unique<QVWCHAR[]>(2);
  utf16[0] = u'z';
  utf16[1] = 0xD83D;
  char narrow[8];
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 8, &length, utf16.get(), 1), narrow);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 8, &length, utf16.get(), 2), nullptr);
  // Too small: the destination comes back, the length says what was needed.
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 1, &length, u"\u00e9", -1), narrow);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 8, &length, "abc", -2), nullptr);
}

TEST(Utf, NextCharacter) {
  const QVWCHAR text[] = {0xD83D, 0xDE00, u'A', 0xD83D, 0};
  const QVWCHAR* p = text;
  EXPECT_EQ(QVNextCharUTF16(&p, -1), 0x1F600u);
  EXPECT_EQ(p, text + 2);
  p = text;
  EXPECT_EQ(QVNextCharUTF16(&p, 1), 0xD83Du);
  EXPECT_EQ(p, text + 1);
  p = text;
  EXPECT_EQ(QVNextCharUTF16(&p, 0), 0u);
  EXPECT_EQ(QVNextCharUTF16(&p, -7), 0u);
  EXPECT_EQ(p, text);
  p = text + 2;
  EXPECT_EQ(QVNextCharUTF16(&p, 5), u'A');
  EXPECT_EQ(QVNextCharUTF16(&p, -1), 0xD83Du);  // lead before the terminator
  EXPECT_EQ(p, text + 4);
  EXPECT_EQ(QVNextCharUTF16(nullptr, 2), 0u);
  const QVWCHAR* none = nullptr;
  EXPECT_EQ(QVNextCharUTF16(&none, 2), 0u);
}

TEST(Utf, CountAndByteOrderMark) {
  EXPECT_EQ(QVCountCharUTF16(u"\U0001F600A"), 2);
  const QVWCHAR reversed[] = {0xDC00, 0xD800, 0};
  EXPECT_EQ(QVCountCharUTF16(reversed), 2);
  EXPECT_EQ(QVCountCharUTF16(nullptr), 0);
  EXPECT_EQ(QVCountCharUTF16(u""), 0);

  EXPECT_EQ(std::memcmp(QVUtf8BomStr, "\xEF\xBB\xBF\0", 4), 0);
  EXPECT_EQ(QVIsUtf8BomStr("\xEF\xBB\xBFtext"), 1);
  EXPECT_EQ(QVIsUtf8BomStr("\xEF\xBB\xBF"), 1);
  EXPECT_EQ(QVIsUtf8BomStr(""), 0);
  EXPECT_EQ(QVIsUtf8BomStr("\xEF\xBB"), 0);
  EXPECT_EQ(QVIsUtf8BomStr("\xEF\xBC\xBF"), 0);
  EXPECT_EQ(QVIsUtf8BomStr(nullptr), 0);
}

}  // namespace

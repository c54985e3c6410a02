// Every refused conversion says why in errno, as mbstowcs and wcstombs do.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <string>

#include "qvcore5/qvcore.h"

namespace {

constexpr size_t kFailed = static_cast<size_t>(-1);

class Utf8Ctype : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  }
  void TearDown() override { std::setlocale(LC_CTYPE, m_saved.c_str()); }

 private:
  std::string m_saved;
};

}  // namespace

TEST_F(Utf8Ctype, NarrowToUnicodeFailuresSetEilseq) {
  const char* texts[] = {
      "a\xF8\x88\x80\x80\x80",      // five-byte form beyond U+10FFFF
      "\xFC\x84\x80\x80\x80\x80",   // six-byte form
      "ab\xED\xA0\x80",             // encoded surrogate
      "ab\xC3",                     // cut at the terminator
      "\xFF",                       // never a lead byte
  };
  QVWCHAR out[16];
  for (const char* text : texts) {
    errno = 0;
    EXPECT_EQ(QVAnsiToUnicode(nullptr, text, 0), kFailed) << text;
    EXPECT_EQ(errno, EILSEQ) << "measuring " << text;
    errno = 0;
    EXPECT_EQ(QVAnsiToUnicode(out, text, 16), kFailed) << text;
    EXPECT_EQ(errno, EILSEQ) << "converting " << text;
  }
}

TEST_F(Utf8Ctype, UnicodeToNarrowFailuresSetEilseq) {
  const QVWCHAR lead[] = {u'a', 0xD800, u'b', 0};
  const QVWCHAR trail[] = {0xDC00, 0};
  const QVWCHAR late[] = {u'\u00e9', 0xDBFF, 0};  // after a character the runtime encoded
  char out[16];
  for (const QVWCHAR* text : {lead, trail, late}) {
    errno = 0;
    EXPECT_EQ(QVUnicodeToAnsi(nullptr, text, 0), kFailed);
    EXPECT_EQ(errno, EILSEQ);
    errno = 0;
    EXPECT_EQ(QVUnicodeToAnsi(out, text, sizeof out), kFailed);
    EXPECT_EQ(errno, EILSEQ);
  }
}

TEST(Utf8Utf16Errno, IllFormedTextSetsEilseq) {
  const QVWCHAR lone[] = {u'a', 0xD800, 0};
  char narrow[16];
  QVWCHAR wide[16];
  errno = 0;
  EXPECT_EQ(QVUTF16ToUTF8(narrow, lone, 16), 16);
  EXPECT_EQ(errno, EILSEQ);
  errno = 0;
  EXPECT_EQ(QVUTF16ToUTF8N(narrow, 16, nullptr, lone, -1), nullptr);
  EXPECT_EQ(errno, EILSEQ);
  errno = 0;
  EXPECT_EQ(QVUTF8ToUTF16(wide, "\xC0\xAF", 16), 16);
  EXPECT_EQ(errno, EILSEQ);
  errno = 0;
  EXPECT_EQ(QVUTF8ToUTF16N(wide, 16, nullptr, "x\xF8\x88\x80\x80\x80", -1), nullptr);
  EXPECT_EQ(errno, EILSEQ);
  // Success leaves errno alone.
  errno = 0;
  EXPECT_EQ(QVUTF8ToUTF16(wide, "ok", 16), 2);
  EXPECT_EQ(errno, 0);
}

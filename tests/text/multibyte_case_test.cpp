// Narrow case mapping in double-byte code pages: the second byte of a
// character may look like an ASCII letter and must stay as it is.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "qvcore5/qvcore.h"
#include "text/built_locale.h"

namespace {

struct DoubleByteCase {
  const char* source;
  const char* charmap;
  // Characters whose second byte is 'A' and 'a'.
  const char* upperTrail;
  const char* lowerTrail;
};

std::ostream& operator<<(std::ostream& os, const DoubleByteCase& c) { return os << c.source << "." << c.charmap; }

const DoubleByteCase kCases[] = {
    {"zh_CN", "GBK", "\x81\x41", "\x81\x61"},
    {"zh_TW", "BIG5", "\xA4\x41", "\xA4\x61"},
};

class DoubleByteCaseMapping : public ::testing::TestWithParam<DoubleByteCase> {};

}  // namespace

TEST_P(DoubleByteCaseMapping, StepsOverMultibyteCharacters) {
  const DoubleByteCase& c = GetParam();
  qvtest::ScopedBuiltLocale locale(c.source, c.charmap);
  if (!locale.available()) GTEST_SKIP() << "cannot build " << c.source << "." << c.charmap;
  ASSERT_GT(MB_CUR_MAX, 1u);
  std::string up = c.upperTrail, low = c.lowerTrail;
  std::string text = "Ab" + up + "Cd" + low + "Ef" + up;
  std::string lower = text;
  EXPECT_EQ(std::string(QVStrToLowerA(lower.data())), "ab" + up + "cd" + low + "ef" + up);
  std::string upper = text;
  EXPECT_EQ(std::string(QVStrToUpperA(upper.data())), "AB" + up + "CD" + low + "EF" + up);
  // A lead byte cut off by the terminator is left alone and ends nothing early.
  std::string cut = "x" + up + "Y" + std::string(1, c.upperTrail[0]);
  EXPECT_EQ(std::string(QVStrToLowerA(cut.data())), "x" + up + "y" + std::string(1, c.upperTrail[0]));
}

INSTANTIATE_TEST_SUITE_P(Codepages, DoubleByteCaseMapping, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DoubleByteCase>& info) {
                           return std::string(info.param.charmap);
                         });

TEST(Utf8CaseMapping, NonAsciiBytesStayAndAsciiAfterThemIsMapped) {
  qvtest::ScopedBuiltLocale locale("de_DE", "UTF-8");
  if (!locale.available()) GTEST_SKIP() << "cannot build de_DE.UTF-8";
  std::string text = "Stra\xC3\x9F" "e \xC3\x84Z";
  EXPECT_EQ(std::string(QVStrToLowerA(text.data())), "stra\xC3\x9F" "e \xC3\x84z");
  EXPECT_EQ(std::string(QVStrToUpperA(text.data())), "STRA\xC3\x9F" "E \xC3\x84Z");
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "text/narrow_icompare.h"

namespace {

TEST(CaseMapping, NarrowInPlaceWithUtf8BytesKept) {
#if defined(_WIN32)
  GTEST_SKIP() << "expects a UTF-8 narrow runtime; on Windows narrow text is in the ANSI code page";
#endif
  char s[] = "Hello, World_1";
  EXPECT_EQ(QVStrToLowerA(s), s); EXPECT_STREQ(s, "hello, world_1"); EXPECT_STREQ(QVStrToUpperA(s), "HELLO, WORLD_1");
  char empty[] = ""; EXPECT_EQ(QVStrToLowerA(empty), empty);
  // UTF-8 bytes stay; the ASCII letters after them go through the runtime alike.
  char utf8[] = "AB\xC3\x84" "D"; EXPECT_STREQ(QVStrToLowerA(utf8), "ab\xC3\x84" "d");
}

TEST(CaseMapping, WideLowersAsciiThenHandsTheRestToTheRuntime) {
  QVWCHAR s[] = u"AB\u00c7D", up[] = u"ab\u00e7d\U0001F600"; EXPECT_EQ(QVStrToLowerW(s), s);
  EXPECT_EQ(std::u16string(s), std::u16string(u"ab") + char16_t(std::towlower(0xC7)) + u"d");
  QVStrToUpperW(up);  // units of a pair map to themselves
  EXPECT_EQ(std::u16string(up), std::u16string(u"AB") + char16_t(std::towupper(0xE7)) + u"D\U0001F600");
  EXPECT_EQ(QVToLowerW(u'Q'), u'q'); EXPECT_EQ(QVToUpperW(u'q'), u'Q'); EXPECT_EQ(QVToUpperW(u'['), u'[');
  EXPECT_EQ(QVToLowerW(0xC4), static_cast<QVWCHAR>(std::towlower(0xC4)));
}

TEST(CaseMapping, Utf16MapsUnicodeInPlaceAndCutsGrowthAtTheOriginalLength) {
  QVWCHAR s[] = u"\u00c4rger \u0130", d[] = u"\U00010428x", e[] = u"", g[] = u"stra\u00dfe", p[] = u"\u00df\U00010428";
  EXPECT_EQ(QVStrToLowerUTF16(s), s); EXPECT_EQ(std::u16string(s).substr(0, 6), u"\u00e4rger ");
  EXPECT_EQ(std::u16string(QVStrToUpperUTF16(d)), u"\U00010400X");  // Deseret: a pair
  EXPECT_EQ(QVStrToUpperUTF16(e), e);
  EXPECT_EQ(std::u16string(QVStrToUpperUTF16(g)), u"STRASS");  // STRASSE is one unit longer
  // A cut that would split a pair ends before it: S S D801 DC00 is four units for three.
  EXPECT_EQ(std::u16string(QVStrToUpperUTF16(p)), u"SS");
}

TEST(CharacterClasses, AsciiDecidedHereOtherValuesByTheRuntime) {
  for (int c : {9, 10, 11, 12, 13, 32}) EXPECT_EQ(QVIsSpaceA(c), 1) << c;
  EXPECT_EQ(QVIsSpaceA('x'), 0); EXPECT_EQ(QVIsSpaceA(0x85), std::isspace(0x85) ? 1 : 0);
  EXPECT_EQ(QVIsSpaceW(0x85), std::iswspace(0x85) ? 1 : 0);
  EXPECT_EQ(QVIsSpaceW(0x3000), std::iswspace(0x3000) ? 1 : 0); EXPECT_EQ(QVIsSpaceW(u'\t'), 1);
  EXPECT_EQ(QVIsAlphaA('q'), 1); EXPECT_EQ(QVIsAlphaA('1'), 0); EXPECT_EQ(QVIsDigitA('7'), 1);
  EXPECT_EQ(QVIsDigitW(u'7'), 1); EXPECT_EQ(QVIsAlphaW(0x3B1), std::iswalpha(0x3B1) ? 1 : 0);
  // Values outside the runtime's narrow range are judged by their low byte
  // instead of indexing past its tables.
  EXPECT_EQ(QVIsAlphaA(0x7FFFFF80), QVIsAlphaA(0x80)); EXPECT_EQ(QVIsDigitA(-100000), QVIsDigitA(-100000 & 0xFF));
  EXPECT_EQ(QVToLowerA(0x41), 'a'); EXPECT_EQ(QVToUpperA('z'), 'Z'); EXPECT_EQ(QVToLowerA('1'), '1');
}

TEST(Search, CharactersAndSubstringsWithSurrogatesFoundOnlyWhereTheyStandAlone) {
  const char* s = "a/b/c"; EXPECT_EQ(QVStrChrA(s, '/'), s + 1); EXPECT_EQ(QVStrRChrA(s, '/'), s + 3);
  EXPECT_EQ(QVStrChrA(s, 'x'), nullptr); EXPECT_EQ(QVStrChrA(s, 0), s + 5);
  const QVWCHAR* w = u"a\\b\\c"; EXPECT_EQ(QVStrChrW(w, u'\\'), w + 1); EXPECT_EQ(QVStrRChrW(w, u'\\'), w + 3);
  EXPECT_EQ(QVStrRChrW(w, u'x'), nullptr); EXPECT_EQ(QVStrRChrW(w, 0), w + 5);
  const char* t = "abcabd";
  EXPECT_EQ(QVStrStrA(t, "abd"), t + 3); EXPECT_EQ(QVStrStrA(t, ""), t); EXPECT_EQ(QVStrStrA(t, "abdx"), nullptr);
  const QVWCHAR* v = u"abcabd";
  EXPECT_EQ(QVStrStrW(v, u"abd"), v + 3); EXPECT_EQ(QVStrStrW(v, u""), v); EXPECT_EQ(QVStrStrW(v, u"bdx"), nullptr);
  EXPECT_EQ(QVStrStrW(u"aaab", u"aab"), u"aaab" + 1);
  const QVWCHAR* paired = u"x\U0001F600y";  // x D83D DE00 y
  EXPECT_EQ(QVStrChrUCS2(paired, 0xD83D), nullptr); EXPECT_EQ(QVStrRChrUCS2(paired, 0xDE00), nullptr);
  EXPECT_EQ(QVStrChrW(paired, 0xD83D), paired + 1);  // W sees units only
  const QVWCHAR lone[] = {u'a', 0xD83D, u'b', 0xD83D, 0};
  EXPECT_EQ(QVStrChrUCS2(lone, 0xD83D), lone + 1); EXPECT_EQ(QVStrRChrUCS2(lone, 0xD83D), lone + 3);
  EXPECT_EQ(QVStrChrUTF16(paired, 0x1F600), paired + 1); EXPECT_EQ(QVStrChrUTF16(paired, u'y'), paired + 3);
  EXPECT_EQ(QVStrRChrUTF16(u"\U0001F600-\U0001F600", 0x1F600), u"\U0001F600-\U0001F600" + 3);
  EXPECT_EQ(QVStrChrUTF16(paired, 0x110000), nullptr); EXPECT_EQ(QVStrChrUTF16(paired, 0xFFFFFFFFu), nullptr);
  const QVWCHAR pair[] = {0xD83D, 0xDE00, 0xDE00, 0}, trail[] = {0xDE00, 0};
  EXPECT_EQ(QVStrStrW(pair, trail), pair + 1);
  EXPECT_EQ(QVStrStrUTF16(pair, trail), pair + 2);  // never half a pair
}

TEST(Tokenise, SplitsInPlaceWithTheCursorAsTheOnlyState) {
  char text[] = "  a,b", onlyDelims[] = ",,,", whole[] = "word", first[] = "1 2", second[] = "x;y"; char* cursor = text;
  EXPECT_STREQ(QVStrTokA(&cursor, " ,"), "a"); EXPECT_EQ(text[3], '\0'); EXPECT_EQ(cursor, text + 4);
  EXPECT_STREQ(QVStrTokA(&cursor, " ,"), "b"); EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(QVStrTokA(&cursor, " ,"), nullptr); EXPECT_EQ(QVStrTokA(nullptr, ","), nullptr);
  cursor = onlyDelims; EXPECT_EQ(QVStrTokA(&cursor, ","), nullptr); EXPECT_EQ(cursor, nullptr);
  cursor = whole; EXPECT_STREQ(QVStrTokA(&cursor, nullptr), "word"); EXPECT_EQ(cursor, nullptr);
  char *c1 = first, *c2 = second;  // two tokenisations interleaved
  EXPECT_STREQ(QVStrTokA(&c1, " "), "1"); EXPECT_STREQ(QVStrTokA(&c2, ";"), "x");
  EXPECT_STREQ(QVStrTokA(&c1, " "), "2"); EXPECT_STREQ(QVStrTokA(&c2, ";"), "y");
  QVWCHAR wide[] = u"\u00e4\\\\b c\\"; QVWCHAR* wc = wide;
  for (const char16_t* token : {u"\u00e4", u"b", u"c"}) EXPECT_EQ(std::u16string(QVStrTokW(&wc, u"\\ ")), token);
  EXPECT_EQ(wc, wide + 7);
  EXPECT_EQ(QVStrTokW(&wc, u"\\ "), nullptr); EXPECT_EQ(wc, nullptr); EXPECT_EQ(QVStrTokW(nullptr, u"\\"), nullptr);
}

template <class Unit>
struct Family {
  Unit* (*cpy)(Unit*, uint32_t, const Unit*, uint32_t); Unit* (*cat)(Unit*, uint32_t, const Unit*, uint32_t);
  bool zeroFill;  // A and W fill the rest of the count with zeros; UTF16 stops after the terminator
};

// Against a model, with guard units on both sides of the buffer, for every
// size, source length, count, and (appending) held length, terminated or not.
template <class Unit>
void CheckBoundedMembers(const Family<Unit>& f) {
  const size_t kGuard = 8; const Unit fill = '#', guard = '~';
  auto model = [&](std::vector<Unit>& d, size_t at, const std::vector<Unit>& src, size_t m) {
    for (size_t i = 0; i < m && (f.zeroFill || i == 0 || d[at + i - 1] != 0); ++i) d[at + i] = i < src.size() ? src[i] : 0;
    d[at + m] = 0;
  };
  for (size_t size = 0; size <= 9; ++size)
    for (size_t srcLen = 0; srcLen <= 10; srcLen += 2) {
      std::vector<Unit> src(srcLen), srcZ(srcLen + 1, 0);
      for (size_t i = 0; i < srcLen; ++i) src[i] = srcZ[i] = static_cast<Unit>('a' + i);
      for (uint32_t count : {0u, 1u, 3u, 8u, 12u, 0xFFFFFFFFu})
        for (size_t held = 0; held <= size + 1; ++held) {  // size + 1: the copy
          std::vector<Unit> buf(size + 2 * kGuard, guard); std::fill_n(buf.begin() + kGuard, size, fill);
          for (size_t i = 0; i < held && i < size; ++i) buf[kGuard + i] = static_cast<Unit>('A' + i);
          if (held < size) buf[kGuard + held] = 0;
          std::vector<Unit> want = buf; Unit* d = buf.data() + kGuard; bool copy = held == size + 1;
          EXPECT_EQ((copy ? f.cpy : f.cat)(d, static_cast<uint32_t>(size), srcZ.data(), count), d);
          size_t at = copy ? 0 : held == size ? size - 1 : held;
          if (size > 0) model(want, kGuard + at, src, std::min<size_t>(count, size - at - 1));
          EXPECT_EQ(buf, want) << (copy ? "copy" : "append") << " size " << size << " held " << held << " count "
                               << count << " source " << srcLen;
        }
    }
}

TEST(BoundedCopy, NeverWritesOutsideTheSizeAndAlwaysTerminatesInEveryFamily) {
  CheckBoundedMembers<char>({QVStrNZCpyA, QVStrNZCatA, true});
  CheckBoundedMembers<QVWCHAR>({QVStrNZCpyW, QVStrNZCatW, true});
  CheckBoundedMembers<QVWCHAR>({QVStrNZCpyUTF16, QVStrNZCatUTF16, false});
}

TEST(BoundedCopy, NullDestinationOrSourceZeroSizeAndLength) {
  EXPECT_EQ(QVStrNZCpyA(nullptr, 8, "abc", 3), nullptr); EXPECT_EQ(QVStrNZCatW(nullptr, 8, u"abc", 3), nullptr);
  char one = 'q'; QVStrNZCpyA(&one, 0, "abc", 3); QVStrNZCatA(&one, 0, "abc", 3); EXPECT_EQ(one, 'q');
  QVWCHAR w[4] = {u'a', u'b', 0, u'z'}; QVStrNZCatUTF16(w, 4, nullptr, 5); EXPECT_EQ(std::u16string(w), u"ab");
  QVStrNZCpyW(w, 4, nullptr, 5); EXPECT_EQ(w[0], 0);
  EXPECT_EQ(QVStrLenA("hello"), 5u); EXPECT_EQ(QVStrLenUTF16(u""), 0u); EXPECT_EQ(QVStrNLenA("hello", 3), 3u);
  EXPECT_EQ(QVStrNLenA("hello", 0), 0u); EXPECT_EQ(QVStrNLenW(u"hi", 10), 2u); EXPECT_EQ(QVStrNLenUTF16(u"hello", 4), 4u);
  // The wide scan works on whole blocks; start and end positions must not matter.
  std::vector<QVWCHAR> buf(200, u'x');
  for (size_t start = 0; start < 9; ++start)
    for (size_t len = 0; len < 70; ++len) {
      std::fill(buf.begin(), buf.end(), u'x'); buf[start + len] = 0;
      ASSERT_EQ(QVStrLenW(buf.data() + start), len) << start << " " << len;
      ASSERT_EQ(QVStrChrW(buf.data() + start, 0), buf.data() + start + len);
    }
}

TEST(Copy, UnboundedMembersFollowTheRuntimeAndCopyCatSkipsNulls) {
  char a[16]; EXPECT_EQ(QVStrCpyA(a, "abc"), a); EXPECT_STREQ(QVStrCatA(a, "de"), "abcde");
  EXPECT_STREQ(QVStrNCatA(a, "fghij", 2), "abcdefg");
  char n[6]; std::memset(n, 'x', sizeof n); QVStrNCpyA(n, "ab", 5); EXPECT_EQ(std::string(n, 6), std::string("ab\0\0\0x", 6));
  QVStrNCpyA(n, "abcdefgh", 3);
  EXPECT_EQ(std::string(n, 6), std::string("abc\0\0x", 6));  // unterminated: the earlier zeros stay
  QVWCHAR w[12]; std::fill(std::begin(w), std::end(w), u'x');
  EXPECT_EQ(QVStrNCpyW(w, u"ab", 4), w); EXPECT_EQ(std::u16string(w, 5), std::u16string(u"ab\0\0x", 5));
  QVStrNCpyW(w, u"abcdef", 3); EXPECT_EQ(std::u16string(w, 4), std::u16string(u"abc\0", 4));
  QVStrCpyW(w, u"\u00e4b"); QVStrCatW(w, u"cd"); EXPECT_EQ(std::u16string(QVStrNCatW(w, u"efgh", 2)), u"\u00e4bcdef");
  char buf[32] = "old"; EXPECT_EQ(QVStrCpyCatA(buf, -2, "x"), 0); EXPECT_STREQ(buf, "");
  EXPECT_EQ(QVStrCpyCatA(buf, 3, "a", static_cast<const char*>(nullptr), "bc"), 3); EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(QVStrCpyCatA(buf, 0), 0); EXPECT_STREQ(buf, ""); EXPECT_EQ(QVStrCpyCatA(nullptr, 2, "a", "b"), 0);
  EXPECT_EQ(QVStrCpyCatA(buf, 4, "", "key", "=", "value"), 9); EXPECT_STREQ(buf, "key=value");
}

TEST(Duplicate, CopiesAndFreesThroughOneFunction) {
  char* a = QVStrDupA("text"); char* n = QVStrNDupA("abcdef", 3); QVWCHAR* w = QVStrDupW(u"wide\u00e9");
  QVWCHAR* empty = QVStrNDupW(u"abc", 0); QVWCHAR* shortOne = QVStrNDupW(u"ab", 10);
  ASSERT_TRUE(a && n && w && empty && shortOne); EXPECT_STREQ(a, "text"); EXPECT_STREQ(n, "abc");
  EXPECT_EQ(std::u16string(w), u"wide\u00e9"); EXPECT_EQ(empty[0], 0); EXPECT_EQ(std::u16string(shortOne), u"ab");
  QVStrFreeW(a), QVStrFreeA(w), QVStrFreeA(n), QVStrFreeW(empty), QVStrFreeW(shortOne);  // one function, two names
  EXPECT_EQ(QVStrDupA(nullptr), nullptr); EXPECT_EQ(QVStrDupW(nullptr), nullptr); EXPECT_EQ(QVStrNDupA(nullptr, 3), nullptr);
  QVStrFreeA(nullptr);
}

TEST(NumberToText, WindowsResultsInEveryRadix) {
  char a[80]; QVWCHAR w[80];
  const struct { bool is64; int64_t value; int radix; const char* text; } cases[] = {
      {0, -255, 10, "-255"}, {0, -1, 16, "ffffffff"}, {0, 255, 2, "11111111"}, {0, INT32_MIN, 10, "-2147483648"},
      {0, INT32_MIN, 8, "20000000000"}, {0, 0, 36, "0"}, {0, 35, 36, "z"}, {0, -42, 16, "ffffffd6"},
      {1, INT64_MIN, 10, "-9223372036854775808"}, {1, -1, 16, "ffffffffffffffff"},
      {1, -1, 2, "1111111111111111111111111111111111111111111111111111111111111111"},
      {1, 1234567890123LL, 10, "1234567890123"}, {1, -1, 36, "3w5e11264sgsf"}};
  for (auto c : cases) {
    std::string narrow = c.is64 ? QVInt64ToStrA(c.value, a, c.radix) : QVLToStrA(int32_t(c.value), a, c.radix);
    std::u16string wide = c.is64 ? QVInt64ToStrW(c.value, w, c.radix) : QVLToStrW(int32_t(c.value), w, c.radix);
    EXPECT_EQ(narrow, c.text); EXPECT_EQ(wide, std::u16string(c.text, c.text + std::strlen(c.text)));
  }
  // An impossible radix gives the empty string rather than garbage.
  std::strcpy(a, "old"); EXPECT_STREQ(QVLToStrA(5, a, 1), ""); EXPECT_STREQ(QVLToStrA(5, a, 37), "");
  EXPECT_EQ(QVLToStrA(5, nullptr, 10), nullptr);
}

// Narrow and wide forms read the same ASCII text alike; each row runs through both.
TEST(TextToNumber, LongIsThirtyTwoBitsSaturatesAndReadsBasesAndPrefixes) {
  const struct { bool isUnsigned; const char* text; int base; int64_t value; size_t used; int error; } cases[] = {
      {0, "  -123xyz", 10, -123, 6, 0}, {0, "2147483648", 10, INT32_MAX, 10, ERANGE},
      {0, "-2147483648", 10, INT32_MIN, 11, 0}, {0, "-2147483649", 10, INT32_MIN, 11, ERANGE},
      {0, "0x7fffffff", 16, INT32_MAX, 10, 0}, {0, "99999999999", 10, INT32_MAX, 11, ERANGE}, {0, "0x1Fg", 0, 31, 4, 0},
      {0, "0x1F", 16, 31, 4, 0}, {0, "017", 0, 15, 3, 0}, {0, "zz", 36, 35 * 36 + 35, 2, 0},
      {0, "0xg", 16, 0, 1, 0},  // no hex digit: the number is the 0
      {0, "  -+5", 10, 0, 0, 0}, {0, "12", 1, 0, 0, EINVAL}, {1, "4294967295", 10, 0xFFFFFFFF, 10, 0},
      {1, "-1", 10, 0xFFFFFFFF, 2, 0}, {1, "-2", 0, 0xFFFFFFFE, 2, 0}, {1, "4294967296", 10, 0xFFFFFFFF, 10, ERANGE},
      {1, "-4294967296", 10, 0xFFFFFFFF, 11, ERANGE}};
  for (auto c : cases) {
    std::u16string wide(c.text, c.text + std::strlen(c.text)); char* end = nullptr; QVWCHAR* wideEnd = nullptr;
    errno = 0;
    EXPECT_EQ(c.isUnsigned ? int64_t(QVStrToULA(c.text, &end, c.base)) : QVStrToLA(c.text, &end, c.base), c.value) << c.text;
    EXPECT_EQ(errno, c.error) << c.text; EXPECT_EQ(end, c.text + c.used) << c.text;
    errno = 0;
    EXPECT_EQ(c.isUnsigned ? int64_t(QVStrToULW(wide.c_str(), &wideEnd, c.base)) : QVStrToLW(wide.c_str(), &wideEnd, c.base),
              c.value) << c.text;
    EXPECT_EQ(errno, c.error) << c.text; EXPECT_EQ(wideEnd, wide.c_str() + c.used) << c.text;
  }
  char* end = nullptr;
  EXPECT_EQ(QVStrToLA(nullptr, &end, 10), 0); EXPECT_EQ(end, nullptr); EXPECT_EQ(QVStrToLA("5", nullptr, 10), 5);
}

TEST(TextToNumber, SixtyFourBitIntegerFormsAndWideReadsOnlyAsciiDigits) {
  EXPECT_EQ(QVStrToLLA("-9223372036854775808", nullptr, 10), INT64_MIN);
  EXPECT_EQ(QVStrToULLA("18446744073709551615", nullptr, 10), UINT64_MAX);
  EXPECT_EQ(QVStrToLLW(u"-9223372036854775808", nullptr, 10), INT64_MIN);
  EXPECT_EQ(QVStrToLLW(u"9223372036854775808", nullptr, 10), INT64_MAX); EXPECT_EQ(QVStrToIA(" 42abc"), 42);
  EXPECT_EQ(QVStrToIA(nullptr), 0); EXPECT_EQ(QVStrToI64W(u"  123456789012"), 123456789012LL);
  EXPECT_EQ(QVStrToIW(u"-45z"), -45);
  QVWCHAR* end = nullptr;
  std::u16string s = u"\u3000 -77 rest";  // ideographic space is white space in a Unicode locale
  int32_t v = QVStrToLW(s.c_str(), &end, 10);
  if (std::iswspace(0x3000)) { EXPECT_EQ(v, -77); EXPECT_EQ(std::u16string(end), u" rest"); }
  const QVWCHAR* arabic = u"\u0661";  // ARABIC-INDIC DIGIT ONE
  EXPECT_EQ(QVStrToLW(arabic, &end, 10), 0); EXPECT_EQ(end, arabic);
  EXPECT_EQ(QVStrToLW(u"1\u0132", &end, 10), 1);  // a unit whose low byte is a digit
}

TEST(TextToNumber, FloatingPoint) {
  char* narrowEnd = nullptr; EXPECT_DOUBLE_EQ(QVStrToDA("2.5e3x", &narrowEnd), 2500.0); EXPECT_STREQ(narrowEnd, "x");
  // Longer than the wide form's fast buffer: 300 digits.
  std::u16string longer = u"0." + std::u16string(298, u'0') + u"5";
  const struct { std::u16string text; double value; size_t used; } cases[] = {
      {u"  -1.25e2\u00e9", -125.0, 9}, {u"0x1.8p1 ", 3.0, 7}, {u"  x1", 0.0, 0}, {longer, 5e-299, 301},
      {u"1,5", 1.0, 1}};  // a comma is no decimal point in this locale
  QVWCHAR* end = nullptr;
  for (auto& c : cases) { EXPECT_DOUBLE_EQ(QVStrToDW(c.text.c_str(), &end), c.value); EXPECT_EQ(end, c.text.c_str() + c.used); }
  EXPECT_TRUE(std::isinf(QVStrToDW(u"-infinity", nullptr))); EXPECT_EQ(QVStrToDW(nullptr, &end), 0.0);
}

// The random comparisons further down cover sign, unsigned units and lengths
// of the unbounded wide and narrow case-insensitive forms; these are the rest.
TEST(Compare, BoundedNarrowCodePointOrderAndCaseFolding) {
  EXPECT_EQ(QVStrNCmpW(u"abcX", u"abcY", 3), 0); EXPECT_EQ(QVStrNCmpW(u"abcX", u"abcY", 4), -1);
  EXPECT_EQ(QVStrNCmpW(u"a", u"a", 100), 0); EXPECT_EQ(QVStrNCmpW(u"x", u"y", 0), 0);
  EXPECT_LT(QVStrCmpA("abc", "abd"), 0); EXPECT_EQ(QVStrCmpA("abc", "abc"), 0);
  EXPECT_GT(QVStrCmpA("\xC4", "a"), 0);  // bytes compare unsigned
  EXPECT_EQ(QVStrNCmpA("abcX", "abcY", 3), 0); EXPECT_LT(QVStrNCmpA("abcX", "abcY", 4), 0);
  // U+FF5E sorts before U+1F600 in code point order, after its lead unit in unit order.
  EXPECT_LT(QVStrCmpUTF16(u"\uff5e", u"\U0001F600"), 0); EXPECT_GT(QVStrCmpUCS2(u"\uff5e", u"\U0001F600"), 0);
  EXPECT_EQ(QVStrCmpUTF16(u"same", u"same"), 0); EXPECT_LT(QVStrNCmpUTF16(u"\uff5ex", u"\U0001F600", 2), 0);
  EXPECT_EQ(QVStrNCmpUTF16(u"abX", u"abY", 2), 0);
  // Case-insensitive: UCS2 folds ASCII only, UTF16 Unicode, W through the runtime.
  EXPECT_NE(QVStrICmpUCS2(u"\u00c4", u"\u00e4"), 0); EXPECT_EQ(QVStrICmpUCS2(u"HeLLo", u"hello"), 0);
  EXPECT_EQ(QVStrICmpUCS2(u"a", u"B"), 'a' - 'b'); EXPECT_EQ(QVStrICmpUTF16(u"\u00c4", u"\u00e4"), 0);
  EXPECT_EQ(QVStrICmpUTF16(u"STRASSE", u"strasse"), 0); EXPECT_EQ(QVStrNICmpUTF16(u"\u00c4bcX", u"\u00e4BCy", 3), 0);
  EXPECT_NE(QVStrNICmpUTF16(u"\u00c4bcX", u"\u00e4BCy", 4), 0);
  EXPECT_LT(QVStrICmpUTF16(u"\uff5e", u"\U0001F600"), 0);  // code point order
  EXPECT_EQ(QVStrICmpW(u"ABC", u"abc"), 0); EXPECT_EQ(QVStrICmpW(u"abc_", u"ABCa"), '_' - 'a');  // as _wcsicmp
  EXPECT_EQ(QVStrNICmpW(u"abcX", u"ABCY", 3), 0); EXPECT_LT(QVStrNICmpW(u"abcX", u"ABCY", 4), 0);
  // In a Unicode locale the runtime knows the case pair; in "C" it does not.
  if (std::towlower(0xC4) == 0xE4) { EXPECT_EQ(QVStrICmpW(u"\u00c4", u"\u00e4"), 0); }
}

// The narrow case-insensitive comparison one byte at a time: upper-case folding
// while both bytes are ASCII, the locale's lower-case folding from the first
// byte above 127 on.
int ReferenceICmp(const char* a, const char* b, size_t n) {
  bool ascii = true;
  for (size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]); ascii = ascii && x < 128 && y < 128;
    x = ascii ? (x >= 'a' && x <= 'z' ? x - 32 : x) : std::tolower(x);
    y = ascii ? (y >= 'a' && y <= 'z' ? y - 32 : y) : std::tolower(y);
    if (x != y || a[i] == 0) return x - y;
  }
  return 0;
}

// Every variant (bytes, 16- and 32-byte blocks) must give the plain answer
// wherever the strings start, end or differ, next to a page boundary too.
TEST(CaseInsensitive, EveryVariantAgreesWithThePlainLoopEverywhere) {
  using qv::text::ICompareVariant;
  const size_t kPage = 4096; char* area = static_cast<char*>(qvtest::AlignedAlloc(kPage, 3 * kPage));
  ASSERT_NE(area, nullptr);
  const char alphabet[] = "aAbBzZ_@[`{09\xC4\xE4";
  const size_t letters = sizeof alphabet - 1; int variantsRun = 0;
  for (ICompareVariant variant : {ICompareVariant::kBytes, ICompareVariant::kSse2, ICompareVariant::kAvx2}) {
    if (!qv::text::UseICompareVariant(variant)) continue;
    ++variantsRun;
    std::mt19937 rng(7);
    for (int round = 0; round < 4000; ++round) {
      size_t len = rng() % (round % 4 == 0 ? 300 : 70);
      // The first string may end right before a page boundary.
      char* a = area + (round % 2 ? kPage - 1 - len - rng() % 40 : rng() % 64);
      char* b = area + 2 * kPage - 1 - len - rng() % 72;
      for (size_t i = 0; i < len; ++i) {
        a[i] = alphabet[rng() % (letters - (rng() % 8 ? 2 : 0))];
        b[i] = (rng() % 4 && std::isalpha(static_cast<unsigned char>(a[i]))) ? static_cast<char>(a[i] ^ 0x20) : a[i];
      }
      a[len] = b[len] = '\0';
      if (len > 0 && rng() % 3 == 0) b[rng() % len] = alphabet[rng() % letters];
      if (len > 0 && rng() % 5 == 0) b[rng() % len + (rng() % 2)] = '\0';
      ASSERT_EQ(QVStrICmpA(a, b), ReferenceICmp(a, b, SIZE_MAX)) << round << ": " << a << " / " << b;
      size_t n = rng() % (len + 20);
      ASSERT_EQ(QVStrNICmpA(a, b, static_cast<uint32_t>(n)), ReferenceICmp(a, b, n)) << round << ": " << n;
    }
  }
  if (!qv::text::UseICompareVariant(ICompareVariant::kAvx2)) qv::text::UseICompareVariant(ICompareVariant::kSse2);
  EXPECT_GE(variantsRun, 1);
  qvtest::AlignedFree(area);
}

TEST(Compare, WideVectorPathAgreesWithThePlainLoopEverywhere) {
  std::mt19937 rng(11); const size_t kPage = 4096;
  auto* area = static_cast<QVWCHAR*>(qvtest::AlignedAlloc(kPage, 3 * kPage)); ASSERT_NE(area, nullptr);
  for (int round = 0; round < 3000; ++round) {
    size_t len = rng() % 60; QVWCHAR* a = area + (round % 2 ? kPage / 2 - 1 - len - rng() % 12 : rng() % 32);
    QVWCHAR* b = area + kPage - 1 - len - rng() % 20;
    for (size_t i = 0; i < len; ++i) a[i] = b[i] = static_cast<QVWCHAR>(rng() % 3 ? 'a' + rng() % 3 : 0xFF00 + rng() % 3);
    a[len] = b[len] = 0;
    if (len > 0 && rng() % 2) b[rng() % len] = static_cast<QVWCHAR>('a' + rng() % 4);
    if (len > 0 && rng() % 4 == 0) a[rng() % len] = 0;
    size_t i = 0;
    while (a[i] == b[i] && a[i] != 0) ++i;
    ASSERT_EQ(QVStrCmpW(a, b), (a[i] > b[i]) - (a[i] < b[i]));
    ASSERT_EQ(QVStrCmpUCS2(a, b), static_cast<int>(a[i]) - static_cast<int>(b[i]));
    QVWCHAR needle = static_cast<QVWCHAR>('a' + rng() % 4); const QVWCHAR* found = a;
    while (*found != needle && *found != 0) ++found;
    ASSERT_EQ(QVStrChrW(a, needle), *found == needle ? found : nullptr);
  }
  qvtest::AlignedFree(area);
}

}  // namespace

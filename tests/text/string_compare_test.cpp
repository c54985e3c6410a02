#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cwctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(Compare, WideGivesExactlyMinusOneZeroOneAndUcs2TheDifference) {
  EXPECT_EQ(QVStrCmpW(u"b", u"a"), 1);
  EXPECT_EQ(QVStrCmpW(u"a", u"z"), -1);
  EXPECT_EQ(QVStrCmpW(u"abc", u"abc"), 0);
  EXPECT_EQ(QVStrCmpW(u"ab", u"abc"), -1);
  EXPECT_EQ(QVStrCmpW(u"\uffff", u"a"), 1);  // units compare unsigned
  EXPECT_EQ(QVStrCmpUCS2(u"b", u"a"), 1);
  EXPECT_EQ(QVStrCmpUCS2(u"a", u"z"), -25);
  EXPECT_EQ(QVStrCmpUCS2(u"ab", u"abc"), -'c');
  EXPECT_EQ(QVStrCmpUCS2(u"\uffff", u"\u0001"), 0xFFFE);
  EXPECT_EQ(QVStrNCmpW(u"abcX", u"abcY", 3), 0);
  EXPECT_EQ(QVStrNCmpW(u"abcX", u"abcY", 4), -1);
  EXPECT_EQ(QVStrNCmpW(u"a", u"a", 100), 0);
  EXPECT_EQ(QVStrNCmpW(u"x", u"y", 0), 0);
}

TEST(Compare, NarrowFollowsTheRuntime) {
  EXPECT_LT(QVStrCmpA("abc", "abd"), 0);
  EXPECT_EQ(QVStrCmpA("abc", "abc"), 0);
  EXPECT_GT(QVStrCmpA("\xC4", "a"), 0);  // bytes compare unsigned
  EXPECT_EQ(QVStrNCmpA("abcX", "abcY", 3), 0);
  EXPECT_LT(QVStrNCmpA("abcX", "abcY", 4), 0);
}

TEST(Compare, Utf16UsesCodePointOrder) {
  // U+FF5E sorts before U+1F600 in code point order, after its lead unit in unit order.
  EXPECT_LT(QVStrCmpUTF16(u"\uff5e", u"\U0001F600"), 0);
  EXPECT_GT(QVStrCmpUCS2(u"\uff5e", u"\U0001F600"), 0);
  EXPECT_EQ(QVStrCmpUTF16(u"same", u"same"), 0);
  EXPECT_LT(QVStrNCmpUTF16(u"\uff5ex", u"\U0001F600", 2), 0);
  EXPECT_EQ(QVStrNCmpUTF16(u"abX", u"abY", 2), 0);
}

TEST(CaseInsensitive, NarrowFastPathFoldsToUpperCase) {
  EXPECT_GT(QVStrICmpA("abc_", "ABCa"), 0);  // '_' (95) against folded 'A' (65)
  EXPECT_EQ(QVStrICmpA("Hello World", "hELLO wORLD"), 0);
  EXPECT_LT(QVStrICmpA("abc", "ABCD"), 0);
  EXPECT_GT(QVStrICmpA("abcd", "ABC"), 0);
  EXPECT_EQ(QVStrICmpA("", ""), 0);
  EXPECT_EQ(QVStrNICmpA("abcX", "ABCy", 3), 0);
  EXPECT_NE(QVStrNICmpA("abcX", "ABCy", 4), 0);
  EXPECT_EQ(QVStrNICmpA("x", "y", 0), 0);
  EXPECT_EQ(QVStrNICmpA("same", "SAME", 100), 0);
}

TEST(CaseInsensitive, Ucs2FoldsOnlyAsciiAndUtf16FoldsUnicode) {
  EXPECT_NE(QVStrICmpUCS2(u"\u00c4", u"\u00e4"), 0);
  EXPECT_EQ(QVStrICmpUTF16(u"\u00c4", u"\u00e4"), 0);
  EXPECT_EQ(QVStrICmpUCS2(u"HeLLo", u"hello"), 0);
  EXPECT_EQ(QVStrICmpUCS2(u"a", u"B"), 'a' - 'b');
  EXPECT_EQ(QVStrICmpUTF16(u"STRASSE", u"strasse"), 0);
  EXPECT_EQ(QVStrNICmpUTF16(u"\u00c4bcX", u"\u00e4BCy", 3), 0);
  EXPECT_NE(QVStrNICmpUTF16(u"\u00c4bcX", u"\u00e4BCy", 4), 0);
  EXPECT_LT(QVStrICmpUTF16(u"\uff5e", u"\U0001F600"), 0);  // code point order
}

TEST(CaseInsensitive, WideFoldsThroughTheRuntimeBeyondAscii) {
  EXPECT_EQ(QVStrICmpW(u"ABC", u"abc"), 0);
  EXPECT_EQ(QVStrICmpW(u"abc_", u"ABCa"), '_' - 'a');  // lower-case folding, as _wcsicmp
  EXPECT_EQ(QVStrNICmpW(u"abcX", u"ABCY", 3), 0);
  EXPECT_LT(QVStrNICmpW(u"abcX", u"ABCY", 4), 0);
  // In a Unicode locale the runtime knows the case pair; in "C" it does not.
  if (std::towlower(0xC4) == 0xE4) {
    EXPECT_EQ(QVStrICmpW(u"\u00c4", u"\u00e4"), 0);
  }
}

// The vector loops must give the plain loop's answer wherever the strings
// start, end or differ, including next to a page boundary.
int ReferenceICmp(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y || x == 0) return x - y;
  }
}

TEST(CaseInsensitive, VectorPathAgreesWithThePlainLoopEverywhere) {
  std::mt19937 rng(7);
  const size_t kPage = 4096;
  char* area = static_cast<char*>(std::aligned_alloc(kPage, 3 * kPage));
  ASSERT_NE(area, nullptr);
  const char alphabet[] = "aAbBzZ_@[`{09";
  for (int round = 0; round < 3000; ++round) {
    size_t len = rng() % 80;
    // Place the first string so that it may end right before a page boundary.
    size_t offA = round % 2 ? kPage - 1 - len - rng() % 24 : rng() % 64;
    size_t offB = 2 * kPage - 1 - len - rng() % 40;
    char* a = area + offA;
    char* b = area + offB;
    for (size_t i = 0; i < len; ++i) {
      a[i] = alphabet[rng() % (sizeof alphabet - 1)];
      b[i] = rng() % 4 ? a[i] ^ ((a[i] >= 'A' && a[i] <= 'z' && std::isalpha(a[i])) ? 0x20 : 0) : a[i];
    }
    a[len] = b[len] = '\0';
    if (len > 0 && rng() % 3 == 0) b[rng() % len] = alphabet[rng() % (sizeof alphabet - 1)];
    if (len > 0 && rng() % 5 == 0) b[rng() % len + (rng() % 2)] = '\0';
    ASSERT_EQ(QVStrICmpA(a, b), ReferenceICmp(a, b)) << a << " / " << b;
    size_t n = rng() % 90;
    int full = 0;
    for (size_t i = 0; i < n; ++i) {  // the reference over n bytes
      int x = std::toupper(static_cast<unsigned char>(a[i])), y = std::toupper(static_cast<unsigned char>(b[i]));
      if (x != y || x == 0) {
        full = x - y;
        break;
      }
    }
    ASSERT_EQ(Sign(QVStrNICmpA(a, b, static_cast<uint32_t>(n))), Sign(full)) << a << " / " << b << " " << n;
  }
  std::free(area);
}

TEST(Compare, WideVectorPathAgreesWithThePlainLoopEverywhere) {
  std::mt19937 rng(11);
  const size_t kPage = 4096;
  auto* area = static_cast<QVWCHAR*>(std::aligned_alloc(kPage, 3 * kPage));
  ASSERT_NE(area, nullptr);
  for (int round = 0; round < 3000; ++round) {
    size_t len = rng() % 60;
    size_t offA = (round % 2 ? kPage / 2 - 1 - len - rng() % 12 : rng() % 32);
    size_t offB = kPage - 1 - len - rng() % 20;
    QVWCHAR* a = area + offA;
    QVWCHAR* b = area + offB;
    for (size_t i = 0; i < len; ++i) a[i] = b[i] = static_cast<QVWCHAR>(rng() % 3 ? 'a' + rng() % 3 : 0xFF00 + rng() % 3);
    a[len] = b[len] = 0;
    if (len > 0 && rng() % 2) b[rng() % len] = static_cast<QVWCHAR>('a' + rng() % 4);
    if (len > 0 && rng() % 4 == 0) a[rng() % len] = 0;
    size_t i = 0;
    while (a[i] == b[i] && a[i] != 0) ++i;
    int expect = (a[i] > b[i]) - (a[i] < b[i]);
    ASSERT_EQ(QVStrCmpW(a, b), expect);
    ASSERT_EQ(QVStrCmpUCS2(a, b), static_cast<int>(a[i]) - static_cast<int>(b[i]));
    QVWCHAR needle = static_cast<QVWCHAR>('a' + rng() % 4);
    const QVWCHAR* found = a;
    while (*found != needle && *found != 0) ++found;
    ASSERT_EQ(QVStrChrW(a, needle), *found == needle ? found : nullptr);
  }
  std::free(area);
}

}  // namespace

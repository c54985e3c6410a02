#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cwctype>
#include <random>
#include <string>

#include "qvcore5/qvcore.h"
#include "text/narrow_icompare.h"

namespace {

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
  const size_t kPage = 4096; char* area = static_cast<char*>(std::aligned_alloc(kPage, 3 * kPage));
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
  std::free(area);
}

TEST(Compare, WideVectorPathAgreesWithThePlainLoopEverywhere) {
  std::mt19937 rng(11); const size_t kPage = 4096;
  auto* area = static_cast<QVWCHAR*>(std::aligned_alloc(kPage, 3 * kPage)); ASSERT_NE(area, nullptr);
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
  std::free(area);
}

}  // namespace

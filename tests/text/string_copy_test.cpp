#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"

namespace {

template <class Unit>
struct Family {
  Unit* (*cpy)(Unit*, uint32_t, const Unit*, uint32_t);
  Unit* (*cat)(Unit*, uint32_t, const Unit*, uint32_t);
  bool zeroFill;  // A and W fill the rest of the count with zeros; UTF16 stops after the terminator
};

// Against a model, with guard units on both sides of the buffer, for every
// size, source length, count, and (appending) held length, terminated or not.
template <class Unit>
void CheckBoundedMembers(const Family<Unit>& f) {
  const size_t kGuard = 8;
  const Unit fill = '#', guard = '~';
  auto model = [&](std::vector<Unit>& d, size_t at, const std::vector<Unit>& src, size_t m) {
    for (size_t i = 0; i < m; ++i) {
      d[at + i] = i < src.size() ? src[i] : 0;
      if (d[at + i] == 0 && !f.zeroFill) break;
    }
    d[at + m] = 0;
  };
  for (size_t size = 0; size <= 9; ++size) {
    for (size_t srcLen = 0; srcLen <= 10; srcLen += 2) {
      std::vector<Unit> src(srcLen), srcZ(srcLen + 1, 0);
      for (size_t i = 0; i < srcLen; ++i) src[i] = srcZ[i] = static_cast<Unit>('a' + i);
      for (uint32_t count : {0u, 1u, 3u, 8u, 12u, 0xFFFFFFFFu}) {
        for (size_t held = 0; held <= size + 1; ++held) {  // size + 1: the copy
          std::vector<Unit> buf(size + 2 * kGuard, guard);
          std::fill_n(buf.begin() + kGuard, size, fill);
          for (size_t i = 0; i < held && i < size; ++i) buf[kGuard + i] = static_cast<Unit>('A' + i);
          if (held < size) buf[kGuard + held] = 0;
          std::vector<Unit> want = buf;
          Unit* d = buf.data() + kGuard;
          bool copy = held == size + 1;
          EXPECT_EQ((copy ? f.cpy : f.cat)(d, static_cast<uint32_t>(size), srcZ.data(), count), d);
          if (size > 0) {
            size_t at = copy ? 0 : held == size ? size - 1 : held;
            model(want, kGuard + at, src, std::min<size_t>(count, size - at - 1));
          }
          EXPECT_EQ(buf, want) << (copy ? "copy" : "append") << " size " << size << " held " << held << " count "
                               << count << " source " << srcLen;
        }
      }
    }
  }
}

TEST(BoundedCopy, NeverWritesOutsideTheSizeAndAlwaysTerminatesInEveryFamily) {
  CheckBoundedMembers<char>({QVStrNZCpyA, QVStrNZCatA, true});
  CheckBoundedMembers<QVWCHAR>({QVStrNZCpyW, QVStrNZCatW, true});
  CheckBoundedMembers<QVWCHAR>({QVStrNZCpyUTF16, QVStrNZCatUTF16, false});
}

TEST(BoundedCopy, NullDestinationOrSourceAndZeroSizeAreSafe) {
  EXPECT_EQ(QVStrNZCpyA(nullptr, 8, "abc", 3), nullptr); EXPECT_EQ(QVStrNZCatW(nullptr, 8, u"abc", 3), nullptr);
  char one = 'q';
  QVStrNZCpyA(&one, 0, "abc", 3);
  QVStrNZCatA(&one, 0, "abc", 3);
  EXPECT_EQ(one, 'q');
  QVWCHAR w[4] = {u'a', u'b', 0, u'z'};
  QVStrNZCatUTF16(w, 4, nullptr, 5);
  EXPECT_EQ(std::u16string(w), u"ab");
  QVStrNZCpyW(w, 4, nullptr, 5);
  EXPECT_EQ(w[0], 0);
}

TEST(Length, CountsUnitsAndStopsAtTheMaximum) {
  EXPECT_EQ(QVStrLenA("hello"), 5u); EXPECT_EQ(QVStrLenUTF16(u""), 0u); EXPECT_EQ(QVStrNLenA("hello", 3), 3u);
  EXPECT_EQ(QVStrNLenA("hello", 0), 0u); EXPECT_EQ(QVStrNLenW(u"hi", 10), 2u);
  EXPECT_EQ(QVStrNLenUTF16(u"hello", 4), 4u);
  // The wide scan works on whole blocks; start and end positions must not matter.
  std::vector<QVWCHAR> buf(200, u'x');
  for (size_t start = 0; start < 9; ++start) {
    for (size_t len = 0; len < 70; ++len) {
      std::fill(buf.begin(), buf.end(), u'x');
      buf[start + len] = 0;
      ASSERT_EQ(QVStrLenW(buf.data() + start), len) << start << " " << len;
      ASSERT_EQ(QVStrChrW(buf.data() + start, 0), buf.data() + start + len);
    }
  }
}

TEST(Copy, UnboundedMembersFollowTheRuntimeRules) {
  char a[16];
  EXPECT_EQ(QVStrCpyA(a, "abc"), a); EXPECT_STREQ(QVStrCatA(a, "de"), "abcde");
  EXPECT_STREQ(QVStrNCatA(a, "fghij", 2), "abcdefg");
  char n[6];
  std::memset(n, 'x', sizeof n);
  QVStrNCpyA(n, "ab", 5);
  EXPECT_EQ(std::string(n, 6), std::string("ab\0\0\0x", 6));
  QVStrNCpyA(n, "abcdefgh", 3);
  EXPECT_EQ(std::string(n, 6), std::string("abc\0\0x", 6));  // unterminated: the earlier zeros stay

  QVWCHAR w[12];
  std::fill(std::begin(w), std::end(w), u'x');
  EXPECT_EQ(QVStrNCpyW(w, u"ab", 4), w); EXPECT_EQ(std::u16string(w, 5), std::u16string(u"ab\0\0x", 5));
  QVStrNCpyW(w, u"abcdef", 3);
  EXPECT_EQ(std::u16string(w, 4), std::u16string(u"abc\0", 4));
  QVStrCpyW(w, u"\u00e4b");
  QVStrCatW(w, u"cd");
  EXPECT_EQ(std::u16string(QVStrNCatW(w, u"efgh", 2)), u"\u00e4bcdef");
}

TEST(CopyCat, ConcatenatesSkippingNullsAndRefusesANullDestination) {
  char buf[32] = "old";
  EXPECT_EQ(QVStrCpyCatA(buf, -2, "x"), 0); EXPECT_STREQ(buf, "");
  EXPECT_EQ(QVStrCpyCatA(buf, 3, "a", static_cast<const char*>(nullptr), "bc"), 3); EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(QVStrCpyCatA(buf, 0), 0); EXPECT_STREQ(buf, ""); EXPECT_EQ(QVStrCpyCatA(nullptr, 2, "a", "b"), 0);
  EXPECT_EQ(QVStrCpyCatA(buf, 4, "", "key", "=", "value"), 9); EXPECT_STREQ(buf, "key=value");
}

TEST(Duplicate, CopiesAndFreesThroughOneFunction) {
  char* a = QVStrDupA("text");
  char* n = QVStrNDupA("abcdef", 3);
  QVWCHAR* w = QVStrDupW(u"wide\u00e9");
  QVWCHAR* empty = QVStrNDupW(u"abc", 0);
  QVWCHAR* shortOne = QVStrNDupW(u"ab", 10);
  ASSERT_TRUE(a && n && w && empty && shortOne); EXPECT_STREQ(a, "text"); EXPECT_STREQ(n, "abc");
  EXPECT_EQ(std::u16string(w), u"wide\u00e9"); EXPECT_EQ(empty[0], 0); EXPECT_EQ(std::u16string(shortOne), u"ab");
  QVStrFreeW(a);  // one release function under both names
  QVStrFreeA(w);
  QVStrFreeA(n);
  QVStrFreeW(empty);
  QVStrFreeW(shortOne);
  EXPECT_EQ(QVStrDupA(nullptr), nullptr); EXPECT_EQ(QVStrDupW(nullptr), nullptr);
  EXPECT_EQ(QVStrNDupA(nullptr, 3), nullptr);
  QVStrFreeA(nullptr);
}

}  // namespace

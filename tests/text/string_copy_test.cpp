#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"

namespace {

// A buffer between guard units: a write outside the given size shows up as a
// changed guard.
template <class Unit>
class Guarded {
 public:
  static constexpr size_t kGuard = 8;
  static constexpr Unit kGuardValue = static_cast<Unit>(0x7E);

  explicit Guarded(const std::vector<Unit>& contents) : m_units(contents.size() + 2 * kGuard, kGuardValue) {
    std::copy(contents.begin(), contents.end(), m_units.begin() + kGuard);
    m_size = contents.size();
  }
  Unit* data() { return m_units.data() + kGuard; }
  std::vector<Unit> contents() const {
    return std::vector<Unit>(m_units.begin() + kGuard, m_units.begin() + kGuard + m_size);
  }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (m_units[i] != kGuardValue || m_units[kGuard + m_size + i] != kGuardValue) return false;
    return true;
  }

 private:
  std::vector<Unit> m_units;
  size_t m_size;
};

template <class Unit>
std::vector<Unit> Units(const char* ascii) {
  std::vector<Unit> v;
  for (; *ascii; ++ascii) v.push_back(static_cast<Unit>(*ascii));
  return v;
}

// Expected effect of the bounded copy rule at `at`: zero-filled (A, W) or
// stopping after the copied terminator (UTF16).
template <class Unit>
void ModelCopy(std::vector<Unit>& d, size_t at, const std::vector<Unit>& src, size_t m, bool zeroFill) {
  for (size_t i = 0; i < m; ++i) {
    Unit u = i < src.size() ? src[i] : 0;
    d[at + i] = u;
    if (u == 0 && !zeroFill) break;
  }
}

template <class Unit>
struct Family {
  Unit* (*cpy)(Unit*, uint32_t, const Unit*, uint32_t);
  Unit* (*cat)(Unit*, uint32_t, const Unit*, uint32_t);
  bool zeroFill;
};

template <class Unit>
void CheckBoundedMembers(const Family<Unit>& f) {
  const Unit fill = static_cast<Unit>('#');
  for (size_t size = 0; size <= 9; ++size) {
    for (size_t srcLen = 0; srcLen <= 10; srcLen += 2) {
      std::vector<Unit> src = Units<Unit>(std::string("abcdefghij").substr(0, srcLen).c_str());
      std::vector<Unit> srcZ = src;
      srcZ.push_back(0);
      for (uint32_t count : {0u, 1u, 3u, 8u, 12u, 0xFFFFFFFFu}) {
        // Copy.
        Guarded<Unit> buf(std::vector<Unit>(size, fill));
        EXPECT_EQ(f.cpy(buf.data(), static_cast<uint32_t>(size), srcZ.data(), count), buf.data());
        std::vector<Unit> want(size, fill);
        if (size > 0) {
          size_t m = std::min<size_t>(count, size - 1);
          ModelCopy(want, 0, src, m, f.zeroFill);
          want[m] = 0;
        }
        EXPECT_TRUE(buf.GuardsIntact()) << "copy size " << size << " count " << count;
        EXPECT_EQ(buf.contents(), want) << "copy size " << size << " count " << count << " source " << srcLen;

        // Append to a buffer holding `held` units, terminated or (held == size) not.
        for (size_t held = 0; held <= size; ++held) {
          std::vector<Unit> start(size, fill);
          for (size_t i = 0; i < held; ++i) start[i] = static_cast<Unit>('A' + i);
          if (held < size) start[held] = 0;
          Guarded<Unit> app(start);
          EXPECT_EQ(f.cat(app.data(), static_cast<uint32_t>(size), srcZ.data(), count), app.data());
          std::vector<Unit> expect = start;
          if (size > 0) {
            size_t at = held == size ? size - 1 : held;
            size_t m = std::min<size_t>(count, size - at - 1);
            ModelCopy(expect, at, src, m, f.zeroFill);
            expect[at + m] = 0;
          }
          EXPECT_TRUE(app.GuardsIntact()) << "append size " << size << " held " << held;
          EXPECT_EQ(app.contents(), expect) << "append size " << size << " held " << held << " count " << count;
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
  EXPECT_EQ(QVStrNZCpyA(nullptr, 8, "abc", 3), nullptr);
  EXPECT_EQ(QVStrNZCatW(nullptr, 8, u"abc", 3), nullptr);
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
  EXPECT_EQ(QVStrLenA("hello"), 5u);
  EXPECT_EQ(QVStrLenW(u"h\u00e9llo\U0001F600"), 7u);
  EXPECT_EQ(QVStrLenUTF16(u""), 0u);
  EXPECT_EQ(QVStrNLenA("hello", 3), 3u);
  EXPECT_EQ(QVStrNLenA("hello", 0), 0u);
  EXPECT_EQ(QVStrNLenW(u"hi", 10), 2u);
  EXPECT_EQ(QVStrNLenUTF16(u"hello", 4), 4u);
}

TEST(Length, WideLengthAtEveryAlignmentAndLength) {
  // The scan works on whole blocks; start and end positions must not matter.
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
  EXPECT_EQ(QVStrCpyA(a, "abc"), a);
  EXPECT_STREQ(QVStrCatA(a, "de"), "abcde");
  EXPECT_STREQ(QVStrNCatA(a, "fghij", 2), "abcdefg");

  char n[6];
  std::memset(n, 'x', sizeof n);
  QVStrNCpyA(n, "ab", 5);
  EXPECT_EQ(std::string(n, 6), std::string("ab\0\0\0x", 6));
  QVStrNCpyA(n, "abcdefgh", 3);
  EXPECT_EQ(n[3], '\0');  // the zeros of the previous copy: unterminated copy left them

  QVWCHAR w[12];
  std::fill(std::begin(w), std::end(w), u'x');
  EXPECT_EQ(QVStrNCpyW(w, u"ab", 4), w);
  EXPECT_EQ(std::u16string(w, 5), std::u16string(u"ab\0\0x", 5));
  QVStrNCpyW(w, u"abcdef", 3);
  EXPECT_EQ(std::u16string(w, 4), std::u16string(u"abc\0", 4));
  QVStrCpyW(w, u"\u00e4b");
  QVStrCatW(w, u"cd");
  EXPECT_EQ(std::u16string(w), u"\u00e4bcd");
  QVStrNCatW(w, u"efgh", 2);
  EXPECT_EQ(std::u16string(w), u"\u00e4bcdef");
}

TEST(CopyCat, ConcatenatesSkippingNullsAndRefusesANullDestination) {
  char buf[32];
  EXPECT_EQ(QVStrCpyCatA(buf, 3, "a", static_cast<const char*>(nullptr), "bc"), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(QVStrCpyCatA(buf, 0), 0);
  EXPECT_STREQ(buf, "");
  std::strcpy(buf, "old");
  EXPECT_EQ(QVStrCpyCatA(buf, -2, "x"), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(QVStrCpyCatA(nullptr, 2, "a", "b"), 0);
  EXPECT_EQ(QVStrCpyCatA(buf, 4, "", "key", "=", "value"), 9);
  EXPECT_STREQ(buf, "key=value");
}

TEST(Duplicate, CopiesAndFreesThroughOneFunction) {
  char* a = QVStrDupA("text");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a, "text");
  QVStrFreeW(a);  // one release function under both names
  QVWCHAR* w = QVStrDupW(u"wide\u00e9");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(std::u16string(w), u"wide\u00e9");
  QVStrFreeA(w);
  EXPECT_EQ(QVStrDupA(nullptr), nullptr);
  EXPECT_EQ(QVStrDupW(nullptr), nullptr);
  EXPECT_EQ(QVStrNDupA(nullptr, 3), nullptr);
  QVStrFreeA(nullptr);

  char* n = QVStrNDupA("abcdef", 3);
  EXPECT_STREQ(n, "abc");
  QVStrFreeA(n);
  QVWCHAR* empty = QVStrNDupW(u"abc", 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  QVStrFreeW(empty);
  QVWCHAR* shortOne = QVStrNDupW(u"ab", 10);
  EXPECT_EQ(std::u16string(shortOne), u"ab");
  QVStrFreeW(shortOne);
}

}  // namespace

// UTF-16 text files: line splitting, both byte orders, appending, failures.
#include <gtest/gtest.h>

#include "file/file_support.h"

using namespace filetest;

namespace {

using Lines = std::vector<std::u16string>;
const QVWCHAR* Q(const char16_t* s) { return reinterpret_cast<const QVWCHAR*>(s); }

// UTF-16 bytes of text in the given order, with or without a byte-order mark.
std::string Encode(const std::u16string& text, bool bigEndian, bool mark = true) {
  std::string out;
  for (char16_t u : (mark ? u"\xFEFF" : u"") + text) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

Lines ReadLines(const std::string& path, int32_t capacity = 256) {
  Lines lines;
  QVUTF16FILE f = QVFileOpenUTF16(path.c_str(), "r");
  std::vector<QVWCHAR> buffer(capacity);
  while (f && lines.size() <= 1000 && QVFileGetLineUTF16(buffer.data(), capacity, f) != nullptr)  // bounded: a reader that never ends
    lines.emplace_back(reinterpret_cast<const char16_t*>(buffer.data()));
  EXPECT_EQ(QVFileCloseUTF16(f), 0);
  return lines;
}

TEST(Utf16File, LineSplittingInBothByteOrders) {
  qvtest::TempDir dir;
  const struct { std::u16string text; int32_t capacity; Lines lines; } cases[] = {
      {u"one\r\ntwo\nthree", 256, {u"one", u"two", u"three"}}, {u"abcdef\r\n", 4, {u"abc", u"def", u""}},
      {u"\r\n\r\nx\r\n", 256, {u"", u"", u"x"}}, {u"a\rb\x2028" u"c", 256, {u"a", u"b\x2028", u"c"}}, {u"", 256, {}}};
  int n = 0;
  for (const auto& c : cases)
    for (bool bigEndian : {false, true}) {
      SCOPED_TRACE(n);
      std::string path = dir.File("l" + std::to_string(n++));
      WriteAll(path, Encode(c.text, bigEndian));
      EXPECT_EQ(ReadLines(path, c.capacity), c.lines);
    }
}

TEST(Utf16File, WrittenFileHasOneMarkAndCrLfAndAppendAddsNoSecondMark) {
  qvtest::TempDir dir;
  std::string path = dir.File("w");
  QVUTF16FILE f = QVFileOpenUTF16(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(QVFileWriteLineUTF16(Q(u"x"), f), 3);
  EXPECT_EQ(QVFileWriteLineUTF16(Q(u""), f), 2);
  EXPECT_EQ(QVFileCloseUTF16(f), 0);
  std::string bytes = ReadFile(path);
  EXPECT_EQ(bytes, Encode(u"x\r\n\r\n", bytes.substr(0, 2) == "\xFE\xFF"));
  // Appending keeps the file's byte order; without a mark a file is read big-endian.
  for (auto [bigEndian, mark] : {std::pair{false, true}, {true, true}, {true, false}}) {
    SCOPED_TRACE(std::string(bigEndian ? "BE" : "LE") + (mark ? " with mark" : " no mark"));
    WriteAll(path, Encode(u"first\r\n", bigEndian, mark));
    ASSERT_NE(f = QVFileOpenUTF16(path.c_str(), "a"), nullptr);
    EXPECT_EQ(QVFileWriteLineUTF16(Q(u"second"), f), 8);
    EXPECT_EQ(QVFileCloseUTF16(f), 0);
    EXPECT_EQ(ReadFile(path), Encode(u"first\r\nsecond\r\n", bigEndian, mark));
    EXPECT_EQ(ReadLines(path), (Lines{u"first", u"second"}));
  }
  // Appending to an empty file starts it with a mark.
  WriteAll(path, "");
  ASSERT_NE(f = QVFileOpenUTF16(path.c_str(), "a"), nullptr);
  QVFileWriteLineUTF16(Q(u"z"), f);
  QVFileCloseUTF16(f);
  EXPECT_EQ(ReadLines(path), (Lines{u"z"}));
  EXPECT_EQ(ReadFile(path).size(), 8u);
}

TEST(Utf16File, BadInput) {
  qvtest::TempDir dir;
  std::string path = dir.File("b");
  WriteAll(path, Encode(u"line\r\n", false));
  QVUTF16FILE f = QVFileOpenUTF16(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  QVWCHAR buf[8];
  for (int32_t capacity : {0, 1, -5}) EXPECT_EQ(QVFileGetLineUTF16(buf, capacity, f), nullptr) << capacity;
  EXPECT_EQ(QVFileGetLineUTF16(nullptr, 8, f), nullptr);
  EXPECT_EQ(QVFileGetLineUTF16(buf, 8, nullptr), nullptr);
  // Nothing was consumed by the refused calls.
  ASSERT_NE(QVFileGetLineUTF16(buf, 8, f), nullptr);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buf)), u"line");
  EXPECT_EQ(QVFileWriteLineUTF16(nullptr, f), -1);
  EXPECT_EQ(QVFileWriteLineUTF16(Q(u"x"), nullptr), -1);
  EXPECT_EQ(QVFileCloseUTF16(f), 0);
  EXPECT_EQ(QVFileCloseUTF16(nullptr), 0);
  for (QVUTF16FILE g : {QVFileOpenUTF16(dir.File("missing").c_str(), "r"), QVFileOpenUTF16(nullptr, "r"),
                        QVFileOpenUTF16(path.c_str(), nullptr)})
    EXPECT_EQ(g, nullptr);
  // Odd byte counts and text that is not UTF-16 end without a crash or an endless read.
  for (const std::string& bytes : {std::string("abc"), Encode(u"ab", false) + "x", std::string("\xFF\xFE\x00", 3)}) {
    WriteAll(path, bytes);
    EXPECT_LE(ReadLines(path).size(), 2u);
  }
}

TEST(Utf16File, FullDiskIsReported) {
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  QVUTF16FILE f = QVFileOpenUTF16("/dev/full", "w");
  ASSERT_NE(f, nullptr);
  std::u16string line(3000, u'q');
  int32_t result = 0;
  for (int i = 0; i < 4 && result >= 0; ++i) result = QVFileWriteLineUTF16(Q(line.c_str()), f);
  EXPECT_EQ(result, -1);  // the runtime's buffer overflowed into the full device
  EXPECT_EQ(QVFileCloseUTF16(f), QV_E_FAIL);
  ASSERT_NE(f = QVFileOpenUTF16("/dev/full", "w"), nullptr);
  EXPECT_EQ(QVFileWriteLineUTF16(Q(u"small"), f), 7);
  EXPECT_EQ(QVFileCloseUTF16(f), QV_E_FAIL);  // lost only at the final flush: still reported
}

}  // namespace

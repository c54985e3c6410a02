#include <ctime>
#include <map>
#include <set>

#include "file/file_support.h"

using namespace filetest;

namespace {

TEST(Dir, CreateRemoveOpenAndAnEmptyListing) {
  qvtest::TempDir dir;
  std::string sub = dir.File("sub");
  QVDIR d = nullptr;
  QVDirEntry e;
  WriteAll(dir.File("file"), "x");
  ExpectResults({{QVDirCreate(P(W(sub))), 0}, {(WriteAll(sub + "/f", "x"), QVDirCreate(P(W(sub)))), QV_E_EXISTS}, {QVDirCreate(P(W(dir.File("no/such")))), QV_E_NOTFOUND},
                 {QVDirRemove(P(W(sub))), QV_E_FAIL},  // not empty
                 {QVFileDelete(P(W(sub + "/f"))), 0}, {QVDirRemove(P(W(sub))), 0}, {QVDirRemove(P(W(sub))), QV_E_NOTFOUND},
                 {QVDirCreate(nullptr), QV_E_INVALIDARG}, {QVDirRemove(nullptr), QV_E_INVALIDARG},
                 {QVDirOpen(nullptr, &d), QV_E_INVALIDARG}, {QVDirOpen(P(W(dir.path())), nullptr), QV_E_INVALIDARG},
                 {QVDirOpen(P(u""), &d), QV_E_NOTFOUND}, {QVDirOpen(P(W(dir.File("missing"))), &d), QV_E_NOTFOUND},
                 {QVDirOpen(P(W(dir.File("file"))), &d), QV_E_NOTFOUND}, {d == QV_INVALID_HANDLE, 1},
                 {QVDirOpen(P(u"///"), &d), 0}, {QVDirRead(d, &e), 0}, {QVDirClose(d), 0},  // separators only: the root
                 {QVFileDelete(P(W(dir.File("file")))), 0}});
  for (const std::string& path : {dir.path(), dir.path() + "/", dir.path() + "//"}) {
    auto list = List(path);
    EXPECT_TRUE(list.size() == 2 && (std::set{list[0].first, list[1].first} == std::set<std::u16string>{u".", u".."}) &&
                (list[0].second.mode & list[1].second.mode & QV_MODE_DIRECTORY)) << path;
  }
  ExpectResults({{QVDirOpen(P(W(dir.path())), &d), 0}, {QVDirRead(d, &e), 0}, {QVDirRead(d, &e), 0},
                 {QVDirRead(d, &e), QV_E_FAIL}, {QVDirRead(d, &e), QV_E_FAIL}, {QVDirClose(d), 0}});  // and after the end
}

TEST(Dir, ModesSizesAndTimes) {
#if defined(_WIN32)
  GTEST_SKIP() << "truncate, utimensat and chmod modes are POSIX";
#else
  qvtest::TempDir dir;
  std::string f = dir.File("f");
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
  time_t before = time(nullptr);
  WriteAll(f, "");
  ASSERT_EQ(truncate(f.c_str(), (int64_t{5} << 32) + 3) + utimensat(AT_FDCWD, f.c_str(), times, 0) + chmod(f.c_str(), 0444), 0);
  auto list = List(dir.path());
  std::map<std::u16string, QVDirEntry> entries(list.begin(), list.end());
  const QVDirEntry& e = entries[u"f"];  // seconds straight from the file system: no local-time round trip
  EXPECT_EQ(std::tuple(e.mode, entries[u"."].mode, e.sizeLow, e.sizeHigh, e.accessTime, e.modificationTime, e.shortName[0]),
            std::tuple(0444u, 0x41B6u, 3u, 5u, 1000000000, 1234567890, QVWCHAR{0}));
  EXPECT_TRUE(e.creationTime == 0 || (e.creationTime <= before + 1 && e.creationTime >= before - 3600)) << e.creationTime;
#endif
}

TEST(Dir, ThousandEntriesEachSeenOnce) {
  qvtest::TempDir dir;
  std::multiset<std::u16string> expected{u".", u".."}, names;
  for (int i = 0; i < 1000; ++i) WriteAll(dir.File("e" + std::to_string(i)), ""), expected.insert(W("e" + std::to_string(i)));
  for (const auto& entry : List(dir.path())) names.insert(entry.first);
  EXPECT_EQ(names, expected);
}

// Bytes that are not UTF-8, an encoded surrogate, and valid text beyond the BMP come back as the same bytes.
TEST(Dir, NamesRoundTripExactly) {
#if defined(_WIN32)
  GTEST_SKIP() << "byte file names are POSIX; Windows names are UTF-16";
#else
  qvtest::TempDir dir;
  std::set<std::string> raw = {"bad\xff\xfe", "half\xc3", "sur\xed\xa0\x80", "ok\xc3\xa9\xf0\x9f\x98\x80"}, reopened;
  for (const std::string& name : raw) WriteAll(dir.File(name), name);
  auto list = List(dir.path());
  std::map<std::u16string, QVDirEntry> entries(list.begin(), list.end());
  EXPECT_TRUE(entries.count(u"bad\xDCFF\xDCFE") && entries.count(u"ok\u00E9\U0001F600"));
  for (const auto& [name, entry] : entries) {
    if (name == u"." || name == u"..") continue;
    std::u16string path = W(dir.path() + "/") + name;
    QVFILE f;
    char buf[32];
    uint32_t n = 0;
    ExpectResults({{QVFileOpen(P(path), QV_FILE_READ, 0, &f), 0}, {QVFileRead(f, buf, sizeof buf, &n), 0},
                   {QVFileClose(f), 0}, {QVFileDelete(P(path)), 0}});
    reopened.insert(std::string(buf, n));  // each file holds its own byte name
  }
  EXPECT_TRUE(reopened == raw && List(dir.path()).size() == 2);
  QVFILE f;  // a name given as text is stored as UTF-8
  ExpectResults({{QVFileOpen(P(W(dir.File("\xc3\xa9"))), QV_FILE_WRITE | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED},
                 {QVFileClose(f), 0}, {Exists(dir.File("\xc3\xa9")), 1}});
#endif
}

using Lines = std::vector<std::u16string>;

// UTF-16 bytes of text in the given order, with or without a byte-order mark.
std::string Encode(const std::u16string& text, bool bigEndian, bool mark = true) {
  std::string out;
  for (char16_t u : (mark ? u"\xFEFF" : u"") + text) out += {char(bigEndian ? u >> 8 : u & 0xFF), char(bigEndian ? u & 0xFF : u >> 8)};
  return out;
}

Lines ReadLines(const std::string& path, int32_t capacity = 256) {
  Lines lines;
  QVUTF16FILE f = QVFileOpenUTF16(path.c_str(), "r");
  std::vector<QVWCHAR> buffer(capacity);
  while (f && lines.size() <= 1000 && QVFileGetLineUTF16(buffer.data(), capacity, f) != nullptr)
    lines.emplace_back(reinterpret_cast<const char16_t*>(buffer.data()));
  EXPECT_EQ(QVFileCloseUTF16(f), 0);
  return lines;
}

TEST(Utf16File, LineSplittingInBothByteOrders) {
  qvtest::TempDir dir;
  const struct { std::u16string text; int32_t capacity; Lines lines; } cases[] = {
      {u"one\r\ntwo\nthree", 256, {u"one", u"two", u"three"}}, {u"abcdef\r\n", 4, {u"abc", u"def", u""}},
      {u"\r\n\r\nx\r\n", 256, {u"", u"", u"x"}}, {u"a\rb\x2028" u"c", 256, {u"a", u"b\x2028", u"c"}}, {u"", 256, {}}};
  for (const auto& c : cases)
    for (bool bigEndian : {false, true}) {
      WriteAll(dir.File("l"), Encode(c.text, bigEndian));
      EXPECT_EQ(ReadLines(dir.File("l"), c.capacity), c.lines) << (&c - cases) << " " << bigEndian;
    }
}

TEST(Utf16File, WrittenFileHasOneMarkAndCrLfAndAppendAddsNoSecondMark) {
  qvtest::TempDir dir;
  std::string path = dir.File("w");
  QVUTF16FILE f;
  ASSERT_NE(f = QVFileOpenUTF16(path.c_str(), "w"), nullptr);
  ExpectResults({{QVFileWriteLineUTF16(P(u"x"), f), 3}, {QVFileWriteLineUTF16(P(u""), f), 2}, {QVFileCloseUTF16(f), 0}});
  std::string bytes = ReadFile(path);
  EXPECT_EQ(bytes, Encode(u"x\r\n\r\n", bytes.substr(0, 2) == "\xFE\xFF"));
  // Appending keeps the file's byte order; without a mark a file is read big-endian.
  for (auto [bigEndian, mark] : {std::pair{false, true}, {true, true}, {true, false}}) {
    WriteAll(path, Encode(u"first\r\n", bigEndian, mark));
    ASSERT_NE(f = QVFileOpenUTF16(path.c_str(), "a"), nullptr);
    ExpectResults({{QVFileWriteLineUTF16(P(u"second"), f), 8}, {QVFileCloseUTF16(f), 0}});
    EXPECT_EQ(ReadFile(path), Encode(u"first\r\nsecond\r\n", bigEndian, mark)) << bigEndian << mark;
    EXPECT_EQ(ReadLines(path), (Lines{u"first", u"second"})) << bigEndian << mark;
  }
  WriteAll(path, "");  // appending to an empty file starts it with a mark
  ASSERT_NE(f = QVFileOpenUTF16(path.c_str(), "a"), nullptr);
  ExpectResults({{QVFileWriteLineUTF16(P(u"z"), f), 3}, {QVFileCloseUTF16(f), 0}, {int32_t(ReadFile(path).size()), 8}});
  EXPECT_EQ(ReadLines(path), (Lines{u"z"}));
}

TEST(Utf16File, BadInput) {
  qvtest::TempDir dir;
  std::string path = dir.File("b");
  QVUTF16FILE f;
  ASSERT_NE(f = (WriteAll(path, Encode(u"line\r\n", false)), QVFileOpenUTF16(path.c_str(), "r")), nullptr);
  QVWCHAR buf[8];
  for (QVWCHAR* line : {QVFileGetLineUTF16(buf, 0, f), QVFileGetLineUTF16(buf, 1, f), QVFileGetLineUTF16(buf, -5, f),
                        QVFileGetLineUTF16(nullptr, 8, f), QVFileGetLineUTF16(buf, 8, nullptr)})
    EXPECT_EQ(line, nullptr);
  ASSERT_NE(QVFileGetLineUTF16(buf, 8, f), nullptr);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buf)), u"line");  // the refused calls consumed nothing
  ExpectResults({{QVFileWriteLineUTF16(nullptr, f), -1}, {QVFileWriteLineUTF16(P(u"x"), nullptr), -1},
                 {QVFileCloseUTF16(f), 0}, {QVFileCloseUTF16(nullptr), 0}});
  for (QVUTF16FILE g : {QVFileOpenUTF16(dir.File("missing").c_str(), "r"), QVFileOpenUTF16(nullptr, "r"),
                        QVFileOpenUTF16(path.c_str(), nullptr)})
    EXPECT_EQ(g, nullptr);
  // Odd byte counts and text that is not UTF-16 end without a crash or an endless read.
  for (const std::string& bytes : {std::string("abc"), Encode(u"ab", false) + "x", std::string("\xFF\xFE\x00", 3)})
    EXPECT_LE((WriteAll(path, bytes), ReadLines(path).size()), 2u);
}

TEST(Utf16File, FullDiskIsReported) {
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  QVUTF16FILE f;
  ASSERT_NE(f = QVFileOpenUTF16("/dev/full", "w"), nullptr);
  int32_t result = 0;
  for (int i = 0; i < 4 && result >= 0; ++i) result = QVFileWriteLineUTF16(P(std::u16string(3000, u'q')), f);
  ExpectResults({{result, -1}, {QVFileCloseUTF16(f), QV_E_FAIL}});  // the runtime's buffer overflowed into the device
  ASSERT_NE(f = QVFileOpenUTF16("/dev/full", "w"), nullptr);  // lost only at the final flush: still reported
  ExpectResults({{QVFileWriteLineUTF16(P(u"small"), f), 7}, {QVFileCloseUTF16(f), QV_E_FAIL}});
}

}  // namespace

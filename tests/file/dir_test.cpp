// Directories: create, remove, listings, modes, times and name round trips.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <set>

#include "file/file_support.h"

using namespace filetest;

namespace {

TEST(Dir, CreateRemoveOpenAndAnEmptyListing) {
  qvtest::TempDir dir;
  std::string sub = dir.File("sub");
  static const QVWCHAR kEmpty[] = {0};
  QVDIR d = nullptr;
  QVDirEntry e;
  WriteAll(dir.File("file"), "x");
  EXPECT_EQ(QVDirCreate(P(W(sub))), 0);
  WriteAll(sub + "/f", "x");
  ExpectResults({{QVDirCreate(P(W(sub))), QV_E_EXISTS}, {QVDirCreate(P(W(dir.File("no/such")))), QV_E_NOTFOUND},
                 {QVDirRemove(P(W(sub))), QV_E_FAIL},  // not empty
                 {QVFileDelete(P(W(sub + "/f"))), 0}, {QVDirRemove(P(W(sub))), 0}, {QVDirRemove(P(W(sub))), QV_E_NOTFOUND},
                 {QVDirCreate(nullptr), QV_E_INVALIDARG}, {QVDirRemove(nullptr), QV_E_INVALIDARG},
                 {QVDirOpen(nullptr, &d), QV_E_INVALIDARG}, {QVDirOpen(P(W(dir.path())), nullptr), QV_E_INVALIDARG},
                 {QVDirOpen(kEmpty, &d), QV_E_NOTFOUND}, {QVDirOpen(P(W(dir.File("missing"))), &d), QV_E_NOTFOUND},
                 {QVDirOpen(P(W(dir.File("file"))), &d), QV_E_NOTFOUND}});
  EXPECT_EQ(d, QV_INVALID_HANDLE);
  ExpectResults({{QVDirOpen(P(u"///"), &d), 0}, {QVDirRead(d, &e), 0}, {QVDirClose(d), 0}});  // separators only: the root
  ASSERT_EQ(QVFileDelete(P(W(dir.File("file")))), 0);
  for (const std::string& path : {dir.path(), dir.path() + "/", dir.path() + "//"}) {
    std::set<std::u16string> names;
    for (const auto& [name, entry] : List(path)) {
      names.insert(name);
      EXPECT_EQ(entry.mode & QV_MODE_DIRECTORY, QV_MODE_DIRECTORY);
    }
    EXPECT_EQ(names, (std::set<std::u16string>{u".", u".."})) << path;
  }
  ASSERT_EQ(QVDirOpen(P(W(dir.path())), &d), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(QVDirRead(d, &e), i < 2 ? 0 : QV_E_FAIL);  // keeps failing after the end
  EXPECT_EQ(QVDirClose(d), 0);
}

TEST(Dir, ModesSizesAndTimes) {
  qvtest::TempDir dir;
  std::string ro = dir.File("ro"), rw = dir.File("rw"), big = dir.File("big");
  WriteAll(ro, "12345");
  WriteAll(rw, "");
  WriteAll(big, "");
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
  ASSERT_EQ(chmod(ro.c_str(), 0444) + mkdir(dir.File("sub").c_str(), 0755) + truncate(big.c_str(), (int64_t{5} << 32) + 3) +
                utimensat(AT_FDCWD, rw.c_str(), times, 0), 0);
  time_t before = time(nullptr);
  auto list = List(dir.path());
  std::map<std::u16string, QVDirEntry> entries(list.begin(), list.end());
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(std::tuple(entries[u"ro"].mode, entries[u"rw"].mode, entries[u"sub"].mode), std::tuple(0444u, 0666u, 0x41B6u));
  EXPECT_EQ(std::tuple(entries[u"ro"].sizeLow, entries[u"big"].sizeLow, entries[u"big"].sizeHigh), std::tuple(5u, 3u, 5u));
  // Seconds straight from the file system: no local-time round trip.
  const QVDirEntry& e = entries[u"rw"];
  EXPECT_EQ(std::tuple(e.accessTime, e.modificationTime, e.shortName[0]), std::tuple(1000000000, 1234567890, QVWCHAR{0}));
  EXPECT_TRUE(e.creationTime == 0 || (e.creationTime <= before + 1 && e.creationTime >= before - 3600)) << e.creationTime;
}

TEST(Dir, ThousandEntriesEachSeenOnce) {
  qvtest::TempDir dir;
  std::multiset<std::u16string> expected{u".", u".."}, names;
  for (int i = 0; i < 1000; ++i) {
    WriteAll(dir.File("e" + std::to_string(i)), "");
    expected.insert(W("e" + std::to_string(i)));
  }
  for (const auto& entry : List(dir.path())) names.insert(entry.first);
  EXPECT_EQ(names, expected);
}

// Bytes that are not UTF-8, an encoded surrogate, and valid text beyond the BMP come back as the same bytes.
TEST(Dir, NamesRoundTripExactly) {
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
  EXPECT_EQ(reopened, raw);
  EXPECT_EQ(List(dir.path()).size(), 2u);
  // A name given as text is stored as UTF-8.
  QVFILE f;
  ExpectResults({{QVFileOpen(P(W(dir.File("\xc3\xa9"))), QV_FILE_WRITE | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED},
                 {QVFileClose(f), 0}});
  EXPECT_TRUE(Exists(dir.File("\xc3\xa9")));
}

}  // namespace

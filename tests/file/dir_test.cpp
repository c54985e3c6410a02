// Directories: create, remove, listings, modes, times and name round trips.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

#include "file/file_support.h"
#include "support/test_support.h"

using namespace filetest;

namespace {

std::map<std::u16string, QVDirEntry> ListEntries(const std::string& dir) {
  std::map<std::u16string, QVDirEntry> entries;
  QVDIR d;
  EXPECT_EQ(QVDirOpen(P(W(dir)), &d), 0);
  QVDirEntry e;
  while (QVDirRead(d, &e) == 0) entries[reinterpret_cast<const char16_t*>(e.name)] = e;
  QVDirClose(d);
  return entries;
}

TEST(Dir, CreateAndRemove) {
  qvtest::TempDir dir;
  std::string sub = dir.File("sub");
  EXPECT_EQ(QVDirCreate(P(W(sub))), 0);
  EXPECT_EQ(QVDirCreate(P(W(sub))), QV_E_EXISTS);
  EXPECT_EQ(QVDirCreate(P(W(dir.File("no/such")))), QV_E_NOTFOUND);
  WriteAll(sub + "/f", "x");
  EXPECT_EQ(QVDirRemove(P(W(sub))), QV_E_FAIL);  // not empty
  EXPECT_EQ(QVFileDelete(P(W(sub + "/f"))), 0);
  EXPECT_EQ(QVDirRemove(P(W(sub))), 0);
  EXPECT_EQ(QVDirRemove(P(W(sub))), QV_E_NOTFOUND);
  EXPECT_EQ(QVDirCreate(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVDirRemove(nullptr), QV_E_INVALIDARG);
}

TEST(Dir, EmptyListingAndItsEnd) {
  qvtest::TempDir dir;
  for (const std::string& path : {dir.path(), dir.path() + "/", dir.path() + "//"}) {
    SCOPED_TRACE(path);
    QVDIR d;
    ASSERT_EQ(QVDirOpen(P(W(path)), &d), 0);
    QVDirEntry e;
    std::set<std::u16string> names;
    ASSERT_EQ(QVDirRead(d, &e), 0);
    names.insert(reinterpret_cast<const char16_t*>(e.name));
    EXPECT_EQ(e.mode & QV_MODE_DIRECTORY, QV_MODE_DIRECTORY);
    ASSERT_EQ(QVDirRead(d, &e), 0);
    names.insert(reinterpret_cast<const char16_t*>(e.name));
    EXPECT_EQ(names, (std::set<std::u16string>{u".", u".."}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(QVDirRead(d, &e), QV_E_FAIL);  // keeps failing after the end
    EXPECT_EQ(QVDirClose(d), 0);
  }
}

TEST(Dir, OpenFailures) {
  qvtest::TempDir dir;
  QVDIR d = nullptr;
  static const QVWCHAR kEmpty[] = {0};
  EXPECT_EQ(QVDirOpen(kEmpty, &d), QV_E_NOTFOUND);
  EXPECT_EQ(d, QV_INVALID_HANDLE);
  EXPECT_EQ(QVDirOpen(nullptr, &d), QV_E_INVALIDARG);
  EXPECT_EQ(QVDirOpen(P(W(dir.path())), nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVDirOpen(P(W(dir.File("missing"))), &d), QV_E_NOTFOUND);
  WriteAll(dir.File("file"), "x");
  EXPECT_EQ(QVDirOpen(P(W(dir.File("file"))), &d), QV_E_NOTFOUND);
  EXPECT_EQ(d, QV_INVALID_HANDLE);
  // Separators only: the root.
  ASSERT_EQ(QVDirOpen(P(u"///"), &d), 0);
  QVDirEntry e;
  EXPECT_EQ(QVDirRead(d, &e), 0);
  QVDirClose(d);
}

TEST(Dir, ModesSizesAndTimes) {
  qvtest::TempDir dir;
  std::string ro = dir.File("ro"), rw = dir.File("rw"), sub = dir.File("sub"), big = dir.File("big");
  WriteAll(ro, "12345");
  chmod(ro.c_str(), 0444);
  WriteAll(rw, "");
  mkdir(sub.c_str(), 0755);
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(ftruncate(fd, (int64_t{5} << 32) + 3), 0);
  close(fd);
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, rw.c_str(), times, 0), 0);
  time_t before = time(nullptr);
  auto entries = ListEntries(dir.path());
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[u"ro"].mode, 0444u);
  EXPECT_EQ(entries[u"ro"].sizeLow, 5u);
  EXPECT_EQ(entries[u"rw"].mode, 0666u);
  EXPECT_EQ(entries[u"sub"].mode, 0x41B6u);
  EXPECT_EQ(entries[u"big"].sizeHigh, 5u);
  EXPECT_EQ(entries[u"big"].sizeLow, 3u);
  // Seconds straight from the file system: no local-time round trip.
  EXPECT_EQ(entries[u"rw"].accessTime, 1000000000);
  EXPECT_EQ(entries[u"rw"].modificationTime, 1234567890);
  int32_t created = entries[u"rw"].creationTime;
  EXPECT_TRUE(created == 0 || (created <= before + 1 && created >= before - 3600)) << created;
  EXPECT_EQ(entries[u"rw"].shortName[0], 0);
}

TEST(Dir, ThousandEntriesEachSeenOnce) {
  qvtest::TempDir dir;
  for (int i = 0; i < 1000; ++i) WriteAll(dir.File("e" + std::to_string(i)), "");
  std::vector<std::u16string> names = ListNames(dir.path());
  std::set<std::u16string> unique(names.begin(), names.end());
  EXPECT_EQ(names.size(), 1002u);
  EXPECT_EQ(unique.size(), 1002u);
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(unique.count(W("e" + std::to_string(i)))) << i;
}

TEST(Dir, NamesRoundTripExactly) {
  qvtest::TempDir dir;
  // Bytes that are not UTF-8, an encoded surrogate, and valid text beyond the BMP.
  const std::string raw[] = {"bad\xff\xfe", "half\xc3", "sur\xed\xa0\x80", "ok\xc3\xa9\xf0\x9f\x98\x80"};
  for (const std::string& name : raw) WriteAll(dir.File(name), name);
  auto entries = ListEntries(dir.path());
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_TRUE(entries.count(u"bad\xDCFF\xDCFE"));
  EXPECT_TRUE(entries.count(u"ok\u00E9\U0001F600"));
  for (const auto& [name, entry] : entries) {
    if (name == u"." || name == u"..") continue;
    std::u16string path = W(dir.path() + "/") + name;
    QVFILE f;
    ASSERT_EQ(QVFileOpen(P(path), QV_FILE_READ, 0, &f), 0);
    char buf[32];
    uint32_t n = 0;
    EXPECT_EQ(QVFileRead(f, buf, sizeof buf, &n), 0);
    QVFileClose(f);
    // Each file holds its own byte name: the name came back to the same bytes.
    std::string content(buf, n);
    EXPECT_TRUE(Exists(dir.File(content))) << content;
    EXPECT_EQ(QVFileDelete(P(path)), 0);
  }
  EXPECT_EQ(ListNames(dir.path()).size(), 2u);
  // A name given as text is stored as UTF-8.
  QVFILE f;
  ASSERT_EQ(QVFileOpen(P(W(dir.path() + "/\xc3\xa9")), QV_FILE_WRITE | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED);
  QVFileClose(f);
  EXPECT_TRUE(Exists(dir.File("\xc3\xa9")));
}

}  // namespace

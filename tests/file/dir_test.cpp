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

std::map<std::u16string, QVDirEntry> ListEntries(const std::string& dir) {
  std::map<std::u16string, QVDirEntry> entries;
  QVDIR d;
  QVDirEntry e;
  EXPECT_EQ(QVDirOpen(P(W(dir)), &d), 0);
  while (QVDirRead(d, &e) == 0) entries[reinterpret_cast<const char16_t*>(e.name)] = e;
  QVDirClose(d);
  return entries;
}

TEST(Dir, CreateRemoveAndOpenFailures) {
  qvtest::TempDir dir;
  std::string sub = dir.File("sub");
  static const QVWCHAR kEmpty[] = {0};
  QVDIR d = nullptr;
  WriteAll(dir.File("file"), "x");
  EXPECT_EQ(QVDirCreate(P(W(sub))), 0);
  WriteAll(sub + "/f", "x");
  const std::pair<QVRESULT, QVRESULT> results[] = {
      {QVDirCreate(P(W(sub))), QV_E_EXISTS}, {QVDirCreate(P(W(dir.File("no/such")))), QV_E_NOTFOUND},
      {QVDirRemove(P(W(sub))), QV_E_FAIL},  // not empty
      {QVFileDelete(P(W(sub + "/f"))), 0}, {QVDirRemove(P(W(sub))), 0}, {QVDirRemove(P(W(sub))), QV_E_NOTFOUND},
      {QVDirCreate(nullptr), QV_E_INVALIDARG}, {QVDirRemove(nullptr), QV_E_INVALIDARG},
      {QVDirOpen(nullptr, &d), QV_E_INVALIDARG}, {QVDirOpen(P(W(dir.path())), nullptr), QV_E_INVALIDARG},
      {QVDirOpen(kEmpty, &d), QV_E_NOTFOUND}, {QVDirOpen(P(W(dir.File("missing"))), &d), QV_E_NOTFOUND},
      {QVDirOpen(P(W(dir.File("file"))), &d), QV_E_NOTFOUND}};
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i].first, results[i].second) << "call " << i;
  EXPECT_EQ(d, QV_INVALID_HANDLE);
  ASSERT_EQ(QVDirOpen(P(u"///"), &d), 0);  // separators only: the root
  QVDirEntry e;
  EXPECT_EQ(QVDirRead(d, &e) + QVDirClose(d), 0);
}

TEST(Dir, EmptyListingAndItsEndWithTrailingSeparators) {
  qvtest::TempDir dir;
  for (const std::string& path : {dir.path(), dir.path() + "/", dir.path() + "//"}) {
    SCOPED_TRACE(path);
    QVDIR d;
    QVDirEntry e;
    std::set<std::u16string> names;
    ASSERT_EQ(QVDirOpen(P(W(path)), &d), 0);
    while (QVDirRead(d, &e) == 0) {
      names.insert(reinterpret_cast<const char16_t*>(e.name));
      EXPECT_EQ(e.mode & QV_MODE_DIRECTORY, QV_MODE_DIRECTORY);
    }
    EXPECT_EQ(names, (std::set<std::u16string>{u".", u".."}));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(QVDirRead(d, &e), QV_E_FAIL);  // keeps failing after the end
    EXPECT_EQ(QVDirClose(d), 0);
  }
}

TEST(Dir, ModesSizesAndTimes) {
  qvtest::TempDir dir;
  std::string ro = dir.File("ro"), rw = dir.File("rw"), sub = dir.File("sub"), big = dir.File("big");
  WriteAll(ro, "12345");
  WriteAll(rw, "");
  ASSERT_EQ(chmod(ro.c_str(), 0444) + mkdir(sub.c_str(), 0755), 0);
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(ftruncate(fd, (int64_t{5} << 32) + 3) + close(fd), 0);
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
  std::set<std::u16string> expected{u".", u".."};
  for (int i = 0; i < 1000; ++i) {
    WriteAll(dir.File("e" + std::to_string(i)), "");
    expected.insert(W("e" + std::to_string(i)));
  }
  std::vector<std::u16string> names = ListNames(dir.path());
  EXPECT_EQ(names.size(), 1002u);
  EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()), expected);
}

TEST(Dir, NamesRoundTripExactly) {
  qvtest::TempDir dir;
  // Bytes that are not UTF-8, an encoded surrogate, and valid text beyond the BMP.
  for (const std::string name : {"bad\xff\xfe", "half\xc3", "sur\xed\xa0\x80", "ok\xc3\xa9\xf0\x9f\x98\x80"})
    WriteAll(dir.File(name), name);
  auto entries = ListEntries(dir.path());
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_TRUE(entries.count(u"bad\xDCFF\xDCFE"));
  EXPECT_TRUE(entries.count(u"ok\u00E9\U0001F600"));
  for (const auto& [name, entry] : entries) {
    if (name == u"." || name == u"..") continue;
    std::u16string path = W(dir.path() + "/") + name;
    QVFILE f;
    char buf[32];
    uint32_t n = 0;
    ASSERT_EQ(QVFileOpen(P(path), QV_FILE_READ, 0, &f), 0);
    EXPECT_EQ(QVFileRead(f, buf, sizeof buf, &n), 0);
    QVFileClose(f);
    // Each file holds its own byte name: the name came back to the same bytes.
    EXPECT_TRUE(Exists(dir.File(std::string(buf, n)))) << std::string(buf, n);
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

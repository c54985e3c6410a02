// Binary files: the open-flag table, reads, writes, seeks, bad input.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "file/file_support.h"

using namespace filetest;

namespace {

TEST(FileOpen, FlagTable) {
  constexpr uint32_t R = QV_FILE_READ, C = QV_FILE_CREATE, T = QV_FILE_TRUNCATE, X = QV_FILE_EXCLUSIVE;
  // Each open that succeeds writes "!" where it is positioned; null content: no file.
  const struct { uint32_t flags; bool exists; QVRESULT result; const char* after; } rows[] = {
      {RW, true, 0, "!ata"}, {RW, false, QV_E_NOTFOUND, nullptr},
      {RW | C, true, 0, "!ata"}, {RW | C, false, QV_FILE_S_CREATED, "!"},
      {RW | T, true, 0, "!"}, {RW | T, false, QV_E_NOTFOUND, nullptr},
      {RW | C | T, true, 0, "!"}, {RW | C | T, false, QV_FILE_S_CREATED, "!"},
      {RW | C | X, true, QV_E_EXISTS, "data"}, {RW | C | X, false, 0, "!"},
      {RW | C | T | X, true, QV_E_EXISTS, "data"}, {RW | X, true, QV_E_FAIL, "data"},
      {RW | X, false, QV_E_FAIL, nullptr}, {RW | X | T, true, QV_E_FAIL, "data"},
      {R | T, true, QV_E_FAIL, "data"}, {R | C | T, true, QV_E_FAIL, "data"},  // truncating needs write access
      {RW | QV_FILE_APPEND, true, 0, "data!"},
  };
  qvtest::TempDir dir;
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE("row " + std::to_string(n));
    std::string path = dir.File("f" + std::to_string(n++));
    if (row.exists) WriteAll(path, "data");
    QVFILE f = nullptr;
    uint32_t written;
    ASSERT_EQ(QVFileOpen(P(W(path)), row.flags, 0666, &f), row.result);
    if (row.result >= 0) {
      EXPECT_EQ(QVFileWrite(f, "!", 1, &written), 0);
      EXPECT_EQ(QVFileClose(f), 0);
    } else {
      EXPECT_EQ(f, QV_INVALID_HANDLE);
    }
    EXPECT_EQ(Exists(path), row.after != nullptr);
    if (row.after) { EXPECT_EQ(ReadFile(path), row.after); }
  }
}

TEST(FileOpen, OpenAlwaysReportsOneCreatorAmongRacers) {
  qvtest::TempDir dir;
  for (int round = 0; round < 50; ++round) {
    std::u16string path = W(dir.File("race" + std::to_string(round)));
    std::atomic<int> created{0}, failed{0};
    std::latch start(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&] {
        start.arrive_and_wait();
        QVFILE f;
        QVRESULT r = QVFileOpen(P(path), RW | QV_FILE_CREATE, 0666, &f);
        created += r == QV_FILE_S_CREATED;
        if (r < 0) ++failed; else QVFileClose(f);
      });
    for (auto& t : threads) t.join();
    ASSERT_EQ(created.load(), 1) << "round " << round;
    ASSERT_EQ(failed.load(), 0);
  }
}

TEST(FileOpen, CreatedWithoutWriteBitsIsReadOnly) {
  qvtest::TempDir dir;
  std::string path = dir.File("ro");
  QVFILE f;
  uint32_t n;
  // The creating handle may still write, as on Windows.
  ASSERT_EQ(QVFileOpen(P(W(path)), RW | QV_FILE_CREATE, 0444, &f), QV_FILE_S_CREATED);
  EXPECT_EQ(QVFileWrite(f, "abc", 3, &n), 0);
  EXPECT_EQ(QVFileClose(f), 0);
  // Read-only even for a privileged caller; a truncating open leaves it whole.
  EXPECT_EQ(QVFileOpen(P(W(path)), QV_FILE_WRITE, 0, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVFileOpen(P(W(path)), RW | QV_FILE_CREATE | QV_FILE_TRUNCATE, 0666, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(ReadFile(path), "abc");
  ASSERT_EQ(QVFileOpen(P(W(path)), QV_FILE_READ, 0, &f), 0);
  EXPECT_EQ(QVFileClose(f), 0);
}

// Temporary files vanish when closed and when their process is killed.
TEST(FileOpen, TemporaryFilesLeaveNothingBehind) {
  qvtest::TempDir dir;
  qvtest::ScopedEnv tmp("TMPDIR", dir.path().c_str());
  static const QVWCHAR kEmpty[] = {0};
  std::u16string named = W(dir.File("named"));
  char buf[8] = {};
  for (const QVWCHAR* path : {static_cast<const QVWCHAR*>(nullptr), kEmpty, P(named)}) {
    QVFILE f;
    uint32_t n, pos;
    ASSERT_EQ(QVFileOpen(path, RW | QV_FILE_TEMPORARY, 0666, &f), path == P(named) ? QV_FILE_S_CREATED : 0);
    ASSERT_EQ(QVFileWrite(f, "temp", 4, &n), 0);
    ASSERT_EQ(QVFileSeek(f, 0, 0, &pos), 0);
    ASSERT_EQ(QVFileRead(f, buf, sizeof buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "temp");
    EXPECT_EQ(ListNames(dir.path()).size(), 2u);  // "." and ".." only
    EXPECT_EQ(QVFileClose(f), 0);
  }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    QVFILE a, b;
    bool ok = QVFileOpen(nullptr, RW | QV_FILE_TEMPORARY, 0666, &a) >= 0 &&
              QVFileOpen(P(named), RW | QV_FILE_TEMPORARY, 0666, &b) >= 0;
    (void)!write(ready[1], ok ? "1" : "0", 1);
    for (;;) pause();
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(c, '1');
  EXPECT_EQ(ListNames(dir.path()).size(), 2u);
}

TEST(FileIo, ReadWriteEndOfFileAndAccessPerHandle) {
  qvtest::TempDir dir;
  std::string path = dir.File("rw");
  QVFILE f, r;
  uint32_t n = 99, pos;
  int64_t size = 0;
  char buf[16];
  ASSERT_EQ(QVFileOpen(P(W(path)), QV_FILE_WRITE | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED);
  EXPECT_EQ(QVFileWrite(f, "hello", 5, &n), 0);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(QVFileWrite(f, nullptr, 0, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(QVFileFlush(f), 0);
  EXPECT_EQ(QVFileGetSize(f, &size), 0);
  EXPECT_EQ(size, 5);
  ASSERT_EQ(QVFileOpen(P(W(path)), QV_FILE_READ, 0, &r), 0);
  EXPECT_EQ(QVFileRead(f, buf, 1, &n), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVFileWrite(r, "x", 1, &n), QV_E_ACCESSDENIED);
  ASSERT_EQ(QVFileSeek(r, 1, 0, &pos), 0);
  EXPECT_EQ(QVFileRead(r, buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "ello");
  n = 99;
  EXPECT_EQ(QVFileRead(r, buf, sizeof buf, &n), QV_E_EOF);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(QVFileClose(f) + QVFileClose(r), 0);
  EXPECT_EQ(ReadFile(path), "hello");
}

TEST(FileIo, BadHandlesArgumentsAndPaths) {
  qvtest::TempDir dir;
  QVFILE f, g, closed;
  QVDIR d;
  ASSERT_GE(QVFileOpen(P(W(dir.File("h"))), RW | QV_FILE_CREATE, 0666, &f), 0);
  ASSERT_GE(QVFileOpen(P(W(dir.File("c"))), RW | QV_FILE_CREATE, 0666, &closed), 0);
  ASSERT_EQ(QVFileClose(closed), 0);
  ASSERT_EQ(QVDirOpen(P(W(dir.path())), &d), 0);
  uint32_t n, pos;
  int64_t pos64, size;
  char buf[4] = {};
  QVDirEntry entry;
  EXPECT_EQ(QVFileOpen(P(W(dir.File("x"))), RW | QV_FILE_CREATE, 0666, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileOpen(nullptr, RW | QV_FILE_CREATE, 0666, &g), QV_E_INVALIDARG);
  EXPECT_EQ(g, QV_INVALID_HANDLE);
  for (QVRESULT r : {QVFileRead(f, buf, 1, nullptr), QVFileRead(f, nullptr, 1, &n), QVFileWrite(f, buf, 1, nullptr),
                     QVFileSeek(f, 0, 0, nullptr), QVFileSeek64(f, 0, 0, nullptr), QVFileGetSize(f, nullptr),
                     QVDirRead(d, nullptr), QVFileDelete(nullptr)})
    EXPECT_EQ(r, QV_E_INVALIDARG);
  // Handles of the wrong kind, made up, or closed.
  for (QVFILE bad : {d, closed, QV_INVALID_HANDLE, static_cast<QVFILE>(nullptr), reinterpret_cast<QVFILE>(0x12340)})
    for (QVRESULT r : {QVFileRead(bad, buf, 1, &n), QVFileWrite(bad, buf, 1, &n), QVFileSeek(bad, 0, 0, &pos),
                       QVFileSeek64(bad, 0, 0, &pos64), QVFileFlush(bad), QVFileGetSize(bad, &size),
                       QVFileLock(bad, 0, 1, 0), QVFileUnlock(bad, 0, 1), QVFileClose(bad)})
      EXPECT_EQ(r, QV_E_HANDLE);
  for (QVDIR bad : {f, closed, QV_INVALID_HANDLE, static_cast<QVDIR>(nullptr)})
    for (QVRESULT r : {QVDirRead(bad, &entry), QVDirClose(bad)}) EXPECT_EQ(r, QV_E_HANDLE);
  // Both still work after being handed to the wrong functions.
  EXPECT_EQ(QVFileWrite(f, "ok", 2, &n), 0);
  EXPECT_EQ(QVDirRead(d, &entry), 0);
  EXPECT_EQ(QVFileClose(f), 0);
  EXPECT_EQ(QVFileClose(f), QV_E_HANDLE);
  EXPECT_EQ(QVDirClose(d), 0);
  EXPECT_EQ(QVDirClose(d), QV_E_HANDLE);
  // A directory is not a file; a missing file cannot be deleted.
  EXPECT_EQ(QVFileOpen(P(W(dir.path())), QV_FILE_READ, 0, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVFileOpen(P(W(dir.path())), RW | QV_FILE_CREATE, 0666, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(f, QV_INVALID_HANDLE);
  EXPECT_EQ(QVFileDelete(P(W(dir.path()))), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVFileDelete(P(W(dir.File("missing")))), QV_E_NOTFOUND);
  // A lone surrogate cannot be named; longer than the design's 263 characters is fine within the platform's limit.
  std::u16string lone = W(dir.File("x")) + u'\xD800' + u"y";
  EXPECT_EQ(QVFileOpen(P(lone), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileDelete(P(lone)), QV_E_INVALIDARG);
  std::string deep = dir.path();
  while (deep.size() < 400) ASSERT_EQ(QVDirCreate(P(W(deep += "/" + std::string(60, 'd')))), 0);
  EXPECT_EQ(QVFileOpen(P(W(deep + "/file")), RW | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED);
  EXPECT_EQ(QVFileClose(f), 0);
  EXPECT_EQ(QVFileOpen(P(W(dir.path() + "/" + std::string(300, 'n'))), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG);
  std::string wayTooLong = dir.path();
  while (wayTooLong.size() < 5000) wayTooLong += "/" + std::string(100, 'z');
  EXPECT_EQ(QVFileOpen(P(W(wayTooLong)), QV_FILE_READ, 0, &f), QV_E_INVALIDARG);
  EXPECT_EQ(f, QV_INVALID_HANDLE);
}

TEST(FileSeek, MethodsFailuresAndTheFourGibibyteBoundaryOnASparseFile) {
  qvtest::TempDir dir;
  QVFILE f;
  ASSERT_GE(QVFileOpen(P(W(dir.File("s"))), RW | QV_FILE_CREATE, 0666, &f), 0);
  const int64_t k4G = int64_t{1} << 32;
  uint32_t n, pos;
  int64_t p64, size;
  char c = 0;
  ASSERT_EQ(QVFileWrite(f, "0123456789", 10, &n), 0);
  EXPECT_EQ(QVFileSeek(f, -3, 2, &pos), 0);
  EXPECT_EQ(pos, 7u);
  EXPECT_EQ(QVFileSeek(f, 2, 1, &pos), 0);
  EXPECT_EQ(pos, 9u);
  EXPECT_EQ(QVFileSeek(f, -10, 1, &pos), QV_E_FAIL);  // before the start
  EXPECT_EQ(pos, 0xFFFFFFFFu);
  EXPECT_EQ(QVFileSeek64(f, -100, 0, &p64), QV_E_FAIL);
  for (uint32_t method : {3u, 4u, 0xFFFFFFFFu})
    EXPECT_EQ(std::pair(QVFileSeek(f, 0, method, &pos), QVFileSeek64(f, 0, method, &p64)), std::pair(QV_E_FAIL, QV_E_FAIL));
  EXPECT_EQ(QVFileSeek64(f, 0, 1, &p64), 0);
  EXPECT_EQ(p64, 9);  // no failed seek moved the position
  ASSERT_EQ(QVFileSeek64(f, k4G + 10, 0, &p64), 0);
  EXPECT_EQ(p64, k4G + 10);
  ASSERT_EQ(QVFileWrite(f, "X", 1, &n), 0);
  EXPECT_EQ(QVFileGetSize(f, &size), 0);
  EXPECT_EQ(size, k4G + 11);
  // 0xFFFFFFFF is a real position, one more does not fit.
  ASSERT_EQ(QVFileSeek64(f, k4G - 16, 0, &p64), 0);
  EXPECT_EQ(QVFileSeek(f, 15, 1, &pos), 0);
  EXPECT_EQ(pos, 0xFFFFFFFFu);
  EXPECT_EQ(QVFileSeek(f, 1, 1, &pos), QV_E_FAIL);
  EXPECT_EQ(QVFileSeek(f, 0, 2, &pos), QV_E_FAIL);
  EXPECT_EQ(QVFileSeek64(f, 0, 1, &p64), 0);
  EXPECT_EQ(p64, k4G - 1);
  EXPECT_EQ(QVFileSeek(f, 0x7FFFFFFF, 0, &pos), 0);
  EXPECT_EQ(pos, 0x7FFFFFFFu);
  ASSERT_EQ(QVFileSeek64(f, -1, 2, &p64), 0);
  EXPECT_EQ(QVFileRead(f, &c, 1, &n), 0);
  EXPECT_EQ(c, 'X');
  ASSERT_EQ(QVFileSeek64(f, k4G - 1, 0, &p64), 0);
  EXPECT_EQ(QVFileRead(f, &c, 1, &n), 0);
  EXPECT_EQ(c, 0);
  QVFileClose(f);
}

TEST(FileIo, FullDiskAndGonePipeFailWithoutSignal) {
  QVFILE f;
  uint32_t n;
  if (QVFileOpen(P(u"/dev/full"), QV_FILE_WRITE, 0, &f) == 0) {
    EXPECT_EQ(QVFileWrite(f, "x", 1, &n), QV_E_FAIL);
    QVFileClose(f);
  }
  qvtest::TempDir dir;
  std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(QVFileOpen(P(W(fifo)), QV_FILE_WRITE, 0, &f), 0);
  close(reader);
  signal(SIGPIPE, SIG_DFL);  // a raised SIGPIPE would end this test process
  EXPECT_EQ(QVFileWrite(f, "lost", 4, &n), QV_E_FAIL);
  EXPECT_EQ(n, 0u);
  sigset_t pending;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  EXPECT_EQ(QVFileClose(f), 0);
}

}  // namespace

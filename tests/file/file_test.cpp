// Binary files: the open-flag table, reads, writes, seeks, bad input.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <latch>
#include <thread>

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
      {RW | QV_FILE_APPEND, true, 0, "data!"}};
  qvtest::TempDir dir;
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    std::string path = dir.File("f" + std::to_string(i));
    if (rows[i].exists) WriteAll(path, "data");
    QVFILE f = nullptr;
    uint32_t n;
    ASSERT_EQ(QVFileOpen(P(W(path)), rows[i].flags, 0666, &f), rows[i].result);
    if (rows[i].result >= 0) ExpectResults({{QVFileWrite(f, "!", 1, &n), 0}, {QVFileClose(f), 0}});
    EXPECT_EQ(rows[i].result < 0 ? f : QV_INVALID_HANDLE, QV_INVALID_HANDLE);
    EXPECT_EQ(Exists(path) ? ReadFile(path) : "(none)", rows[i].after ? rows[i].after : "(none)");
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
        failed += r < 0 || QVFileClose(f) != 0;
      });
    for (auto& t : threads) t.join();
    ASSERT_EQ(created.load(), 1) << "round " << round;
    ASSERT_EQ(failed.load(), 0);
  }
}

TEST(FileOpen, CreatedWithoutWriteBitsIsReadOnly) {
  qvtest::TempDir dir;
  std::u16string path = W(dir.File("ro"));
  QVFILE f, g;
  uint32_t n;
  // The creating handle may still write, as on Windows; later writers are refused even when privileged,
  // and a truncating open leaves the file whole.
  ExpectResults({{QVFileOpen(P(path), RW | QV_FILE_CREATE, 0444, &f), QV_FILE_S_CREATED}, {QVFileWrite(f, "abc", 3, &n), 0},
                 {QVFileClose(f), 0}, {QVFileOpen(P(path), QV_FILE_WRITE, 0, &g), QV_E_ACCESSDENIED},
                 {QVFileOpen(P(path), RW | QV_FILE_CREATE | QV_FILE_TRUNCATE, 0666, &g), QV_E_ACCESSDENIED},
                 {QVFileOpen(P(path), QV_FILE_READ, 0, &f), 0}, {QVFileClose(f), 0}});
  EXPECT_EQ(ReadFile(dir.File("ro")), "abc");
}

// Temporary files vanish when closed and when their process is killed.
TEST(FileOpen, TemporaryFilesLeaveNothingBehind) {
  qvtest::TempDir dir;
  qvtest::ScopedEnv tmp("TMPDIR", dir.path().c_str());
  static const QVWCHAR kEmpty[] = {0};
  std::u16string named = W(dir.File("named"));
  for (const QVWCHAR* path : {static_cast<const QVWCHAR*>(nullptr), kEmpty, P(named)}) {
    QVFILE f;
    uint32_t n, pos;
    char buf[8] = {};
    ASSERT_EQ(QVFileOpen(path, RW | QV_FILE_TEMPORARY, 0666, &f), path == P(named) ? QV_FILE_S_CREATED : 0);
    ExpectResults({{QVFileWrite(f, "temp", 4, &n), 0}, {QVFileSeek(f, 0, 0, &pos), 0}, {QVFileRead(f, buf, 8, &n), 0}});
    EXPECT_EQ(std::string(buf), "temp");
    EXPECT_EQ(List(dir.path()).size(), 2u);  // "." and ".." only
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
  EXPECT_EQ(List(dir.path()).size(), 2u);
}

TEST(FileIo, ReadWriteEndOfFileAndAccessPerHandle) {
  qvtest::TempDir dir;
  std::u16string path = W(dir.File("rw"));
  QVFILE f, r;
  uint32_t n[5] = {99, 99, 99, 99, 99}, pos;
  char buf[16];
  ExpectResults({{QVFileOpen(P(path), QV_FILE_WRITE | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED},
                 {QVFileWrite(f, "hello", 5, &n[0]), 0}, {QVFileWrite(f, nullptr, 0, &n[1]), 0}, {QVFileFlush(f), 0},
                 {QVFileOpen(P(path), QV_FILE_READ, 0, &r), 0}, {QVFileRead(f, buf, 1, &n[2]), QV_E_ACCESSDENIED},
                 {QVFileWrite(r, "x", 1, &n[2]), QV_E_ACCESSDENIED}, {QVFileSeek(r, 1, 0, &pos), 0},
                 {QVFileRead(r, buf, sizeof buf, &n[3]), 0}, {QVFileRead(r, buf, sizeof buf, &n[4]), QV_E_EOF},
                 {QVFileClose(f), 0}, {QVFileClose(r), 0}});
  EXPECT_EQ(std::vector<uint32_t>({n[0], n[1], n[3], n[4]}), std::vector<uint32_t>({5, 0, 4, 0}));
  EXPECT_EQ(std::string(buf, 4), "ello");
  EXPECT_EQ(ReadFile(dir.File("rw")), "hello");
}

TEST(FileIo, BadHandlesArgumentsAndPaths) {
  qvtest::TempDir dir;
  QVFILE f, g, closed;
  QVDIR d;
  uint32_t n, pos;
  int64_t pos64, size;
  char buf[4] = {};
  QVDirEntry entry;
  ExpectResults({{QVFileOpen(P(W(dir.File("h"))), RW | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED},
                 {QVFileOpen(P(W(dir.File("c"))), RW | QV_FILE_CREATE, 0666, &closed), QV_FILE_S_CREATED},
                 {QVFileClose(closed), 0}, {QVDirOpen(P(W(dir.path())), &d), 0},
                 {QVFileOpen(P(W(dir.File("x"))), RW | QV_FILE_CREATE, 0666, nullptr), QV_E_INVALIDARG},
                 {QVFileOpen(nullptr, RW | QV_FILE_CREATE, 0666, &g), QV_E_INVALIDARG}});
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
  // Both still work after being handed to the wrong functions; a directory is not a file.
  ExpectResults({{QVFileWrite(f, "ok", 2, &n), 0}, {QVDirRead(d, &entry), 0}, {QVFileClose(f), 0},
                 {QVFileClose(f), QV_E_HANDLE}, {QVDirClose(d), 0}, {QVDirClose(d), QV_E_HANDLE},
                 {QVFileOpen(P(W(dir.path())), QV_FILE_READ, 0, &f), QV_E_ACCESSDENIED},
                 {QVFileOpen(P(W(dir.path())), RW | QV_FILE_CREATE, 0666, &f), QV_E_ACCESSDENIED},
                 {QVFileDelete(P(W(dir.path()))), QV_E_ACCESSDENIED}, {QVFileDelete(P(W(dir.File("missing")))), QV_E_NOTFOUND}});
  EXPECT_EQ(f, QV_INVALID_HANDLE);
  // A lone surrogate cannot be named; longer than the design's 263 characters is fine within the platform's limit.
  std::u16string lone = W(dir.File("x")) + u'\xD800' + u"y";
  std::string deep = dir.path(), wayTooLong = dir.path();
  while (deep.size() < 400) ASSERT_EQ(QVDirCreate(P(W(deep += "/" + std::string(60, 'd')))), 0);
  while (wayTooLong.size() < 5000) wayTooLong += "/" + std::string(100, 'z');
  ExpectResults({{QVFileOpen(P(lone), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG}, {QVFileDelete(P(lone)), QV_E_INVALIDARG},
                 {QVFileOpen(P(W(deep + "/file")), RW | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED}, {QVFileClose(f), 0},
                 {QVFileOpen(P(W(dir.path() + "/" + std::string(300, 'n'))), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG},
                 {QVFileOpen(P(W(wayTooLong)), QV_FILE_READ, 0, &f), QV_E_INVALIDARG}});
  EXPECT_EQ(f, QV_INVALID_HANDLE);
}

TEST(FileSeek, MethodsFailuresAndTheFourGibibyteBoundaryOnASparseFile) {
  qvtest::TempDir dir;
  QVFILE f;
  ASSERT_GE(QVFileOpen(P(W(dir.File("s"))), RW | QV_FILE_CREATE, 0666, &f), 0);
  const int64_t k4G = int64_t{1} << 32, kBad = 0xFFFFFFFF;  // a failed 32-bit seek reports kBad
  struct Step { bool wide; int64_t distance; uint32_t method; QVRESULT result; int64_t position; };
  auto run = [&](std::initializer_list<Step> steps) {
    for (const Step& s : steps) {
      uint32_t pos = 0;
      int64_t p64 = 0;
      QVRESULT r = s.wide ? QVFileSeek64(f, s.distance, s.method, &p64) : QVFileSeek(f, int32_t(s.distance), s.method, &pos);
      EXPECT_EQ(r, s.result) << s.distance << " from " << s.method;
      if (!s.wide || r == 0) { EXPECT_EQ(s.wide ? p64 : pos, s.position) << s.distance << " from " << s.method; }
    }
  };
  uint32_t n;
  char c[16] = {};
  int64_t size;
  ASSERT_EQ(QVFileWrite(f, "0123456789", 10, &n), 0);
  run({{0, -3, 2, 0, 7}, {0, 2, 1, 0, 9}, {0, -10, 1, QV_E_FAIL, kBad}, {1, -100, 0, QV_E_FAIL, 0},  // before the start
       {0, 0, 3, QV_E_FAIL, kBad}, {1, 0, 3, QV_E_FAIL, 0}, {0, 0, 4, QV_E_FAIL, kBad}, {1, 0, 4, QV_E_FAIL, 0},
       {0, 0, kBad, QV_E_FAIL, kBad}, {1, 0, kBad, QV_E_FAIL, 0}, {1, 0, 1, 0, 9},  // no failure moved the position
       {1, k4G + 10, 0, 0, k4G + 10}});
  ExpectResults({{QVFileWrite(f, "X", 1, &n), 0}, {QVFileGetSize(f, &size), 0}});
  EXPECT_EQ(size, k4G + 11);
  // 0xFFFFFFFF is a real position, one more does not fit.
  run({{1, k4G - 16, 0, 0, k4G - 16}, {0, 15, 1, 0, kBad}, {0, 1, 1, QV_E_FAIL, kBad}, {0, 0, 2, QV_E_FAIL, kBad},
       {1, 0, 1, 0, k4G - 1}, {0, 0x7FFFFFFF, 0, 0, 0x7FFFFFFF}, {1, -1, 2, 0, k4G + 10}, {1, k4G - 1, 0, 0, k4G - 1}});
  ExpectResults({{QVFileRead(f, c, sizeof c, &n), 0}, {QVFileClose(f), 0}});
  EXPECT_EQ(std::string(c, n), std::string(11, '\0') + "X");  // across the boundary to the end
}

TEST(FileIo, FullDiskAndGonePipeFailWithoutSignal) {
  QVFILE f;
  uint32_t n;
  if (QVFileOpen(P(u"/dev/full"), QV_FILE_WRITE, 0, &f) == 0) {
    ExpectResults({{QVFileWrite(f, "x", 1, &n), QV_E_FAIL}, {QVFileClose(f), 0}});
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

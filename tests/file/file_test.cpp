// Binary files: the open-flag table, reads, writes, seeks, bad input.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <latch>
#include <thread>
#include <vector>

#include "file/file_support.h"
#include "support/test_support.h"

using namespace filetest;

namespace {

constexpr uint32_t RW = QV_FILE_READ | QV_FILE_WRITE;

struct FlagRow {
  const char* what;
  uint32_t flags;
  bool exists;
  QVRESULT result;
  bool existsAfter;
  const char* contentAfter;  // null: not checked (missing file)
};

TEST(FileOpen, FlagTable) {
  const FlagRow rows[] = {
      {"open existing", RW, true, 0, true, "data"},
      {"open existing, missing", RW, false, QV_E_NOTFOUND, false, nullptr},
      {"open always, existing", RW | QV_FILE_CREATE, true, 0, true, "data"},
      {"open always, missing", RW | QV_FILE_CREATE, false, QV_FILE_S_CREATED, true, ""},
      {"truncate existing", RW | QV_FILE_TRUNCATE, true, 0, true, ""},
      {"truncate existing, missing", RW | QV_FILE_TRUNCATE, false, QV_E_NOTFOUND, false, nullptr},
      {"create always, existing", RW | QV_FILE_CREATE | QV_FILE_TRUNCATE, true, 0, true, ""},
      {"create always, missing", RW | QV_FILE_CREATE | QV_FILE_TRUNCATE, false, QV_FILE_S_CREATED, true, ""},
      {"create new, existing", RW | QV_FILE_CREATE | QV_FILE_EXCLUSIVE, true, QV_E_EXISTS, true, "data"},
      {"create new, missing", RW | QV_FILE_CREATE | QV_FILE_EXCLUSIVE, false, 0, true, ""},
      {"create new with truncate", RW | QV_FILE_CREATE | QV_FILE_TRUNCATE | QV_FILE_EXCLUSIVE, true, QV_E_EXISTS,
       true, "data"},
      {"exclusive alone", RW | QV_FILE_EXCLUSIVE, true, QV_E_FAIL, true, "data"},
      {"exclusive alone, missing", RW | QV_FILE_EXCLUSIVE, false, QV_E_FAIL, false, nullptr},
      {"exclusive and truncate", RW | QV_FILE_EXCLUSIVE | QV_FILE_TRUNCATE, true, QV_E_FAIL, true, "data"},
      {"truncate without write access", QV_FILE_READ | QV_FILE_TRUNCATE, true, QV_E_FAIL, true, "data"},
      {"create always without write access", QV_FILE_READ | QV_FILE_CREATE | QV_FILE_TRUNCATE, true, QV_E_FAIL, true,
       "data"},
  };
  qvtest::TempDir dir;
  int n = 0;
  for (const FlagRow& row : rows) {
    SCOPED_TRACE(row.what);
    std::string path = dir.File("f" + std::to_string(n++));
    if (row.exists) {
      WriteAll(path, "data");
    }
    QVFILE f = nullptr;
    EXPECT_EQ(QVFileOpen(P(W(path)), row.flags, 0666, &f), row.result);
    if (row.result >= 0) {
      EXPECT_NE(f, QV_INVALID_HANDLE);
      EXPECT_EQ(QVFileClose(f), 0);
    } else {
      EXPECT_EQ(f, QV_INVALID_HANDLE);
    }
    EXPECT_EQ(Exists(path), row.existsAfter);
    if (row.contentAfter != nullptr) {
      EXPECT_EQ(ReadAll(path), row.contentAfter);
    }
  }
}

TEST(FileOpen, OpenAlwaysReportsOneCreatorAmongRacers) {
  qvtest::TempDir dir;
  constexpr int kThreads = 4, kRounds = 50;
  for (int round = 0; round < kRounds; ++round) {
    std::u16string path = W(dir.File("race" + std::to_string(round)));
    std::atomic<int> created{0}, failed{0};
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        start.arrive_and_wait();
        QVFILE f;
        QVRESULT r = QVFileOpen(P(path), RW | QV_FILE_CREATE, 0666, &f);
        if (r == QV_FILE_S_CREATED) ++created;
        if (r < 0) {
          ++failed;
        } else {
          QVFileClose(f);
        }
      });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(created.load(), 1) << "round " << round;
    ASSERT_EQ(failed.load(), 0);
  }
}

TEST(FileOpen, CreatedWithoutWriteBitsIsReadOnly) {
  qvtest::TempDir dir;
  std::string path = dir.File("ro");
  QVFILE f;
  // The creating handle may still write, as on Windows.
  ASSERT_EQ(QVFileOpen(P(W(path)), RW | QV_FILE_CREATE, 0444, &f), QV_FILE_S_CREATED);
  uint32_t n;
  EXPECT_EQ(QVFileWrite(f, "abc", 3, &n), 0);
  EXPECT_EQ(QVFileClose(f), 0);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  // Read-only even for a privileged caller; a truncating open leaves it whole.
  EXPECT_EQ(QVFileOpen(P(W(path)), QV_FILE_WRITE, 0, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVFileOpen(P(W(path)), RW | QV_FILE_CREATE | QV_FILE_TRUNCATE, 0666, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(ReadAll(path), "abc");
  ASSERT_EQ(QVFileOpen(P(W(path)), QV_FILE_READ, 0, &f), 0);
  EXPECT_EQ(QVFileClose(f), 0);
}

TEST(FileOpen, DirectoryIsNotAFile) {
  qvtest::TempDir dir;
  QVFILE f;
  EXPECT_EQ(QVFileOpen(P(W(dir.path())), QV_FILE_READ, 0, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVFileOpen(P(W(dir.path())), RW | QV_FILE_CREATE, 0666, &f), QV_E_ACCESSDENIED);
  EXPECT_EQ(f, QV_INVALID_HANDLE);
  EXPECT_EQ(QVFileDelete(P(W(dir.path()))), QV_E_ACCESSDENIED);
}

TEST(FileOpen, AppendStartsAtTheEnd) {
  qvtest::TempDir dir;
  std::string path = dir.File("a");
  WriteAll(path, "12345");
  QVFILE f;
  ASSERT_EQ(QVFileOpen(P(W(path)), RW | QV_FILE_APPEND, 0, &f), 0);
  uint32_t n;
  ASSERT_EQ(QVFileWrite(f, "67", 2, &n), 0);
  QVFileClose(f);
  EXPECT_EQ(ReadAll(path), "1234567");
}

class TempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    m_hadOld = old != nullptr;
    if (m_hadOld) m_old = old;
    setenv("TMPDIR", m_dir.path().c_str(), 1);
  }
  void TearDown() override {
    if (m_hadOld) setenv("TMPDIR", m_old.c_str(), 1);
    else unsetenv("TMPDIR");
  }
  qvtest::TempDir m_dir;
  bool m_hadOld = false;
  std::string m_old;
};

TEST_F(TempFileTest, UnnamedAndNamedLeaveNothingBehind) {
  static const QVWCHAR kEmpty[] = {0};
  for (const QVWCHAR* path : {static_cast<const QVWCHAR*>(nullptr), kEmpty}) {
    QVFILE f;
    ASSERT_EQ(QVFileOpen(path, RW | QV_FILE_TEMPORARY, 0666, &f), 0);
    uint32_t n;
    ASSERT_EQ(QVFileWrite(f, "temp", 4, &n), 0);
    uint32_t pos;
    ASSERT_EQ(QVFileSeek(f, 0, 0, &pos), 0);
    char buf[8] = {};
    ASSERT_EQ(QVFileRead(f, buf, sizeof buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "temp");
    EXPECT_EQ(ListNames(m_dir.path()).size(), 2u);  // "." and ".." only
    EXPECT_EQ(QVFileClose(f), 0);
  }
  std::string named = m_dir.File("named");
  QVFILE f;
  ASSERT_EQ(QVFileOpen(P(W(named)), QV_FILE_WRITE | QV_FILE_TEMPORARY, 0666, &f), QV_FILE_S_CREATED);
  EXPECT_FALSE(Exists(named));
  uint32_t n;
  EXPECT_EQ(QVFileWrite(f, "x", 1, &n), 0);
  EXPECT_EQ(QVFileClose(f), 0);
}

TEST_F(TempFileTest, KilledProcessLeavesNothing) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  std::string named = m_dir.File("killed");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    QVFILE a, b;
    bool ok = QVFileOpen(nullptr, RW | QV_FILE_TEMPORARY, 0666, &a) >= 0 &&
              QVFileOpen(P(W(named)), RW | QV_FILE_TEMPORARY, 0666, &b) >= 0;
    char c = ok ? '1' : '0';
    (void)!write(ready[1], &c, 1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(c, '1');
  EXPECT_EQ(ListNames(m_dir.path()).size(), 2u);
}

TEST(FileIo, ReadWriteAndEndOfFile) {
  qvtest::TempDir dir;
  QVFILE f;
  ASSERT_EQ(QVFileOpen(P(W(dir.File("rw"))), RW | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED);
  uint32_t n = 99;
  EXPECT_EQ(QVFileWrite(f, "hello", 5, &n), 0);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(QVFileWrite(f, nullptr, 0, &n), 0);
  EXPECT_EQ(n, 0u);
  int64_t size = 0;
  EXPECT_EQ(QVFileGetSize(f, &size), 0);
  EXPECT_EQ(size, 5);
  uint32_t pos;
  ASSERT_EQ(QVFileSeek(f, 1, 0, &pos), 0);
  char buf[16];
  EXPECT_EQ(QVFileRead(f, buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "ello");
  n = 99;
  EXPECT_EQ(QVFileRead(f, buf, sizeof buf, &n), QV_E_EOF);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(QVFileFlush(f), 0);
  EXPECT_EQ(QVFileClose(f), 0);
}

TEST(FileIo, AccessIsEnforcedPerHandle) {
  qvtest::TempDir dir;
  std::string path = dir.File("acc");
  WriteAll(path, "abc");
  QVFILE r, w;
  ASSERT_EQ(QVFileOpen(P(W(path)), QV_FILE_READ, 0, &r), 0);
  ASSERT_EQ(QVFileOpen(P(W(path)), QV_FILE_WRITE, 0, &w), 0);
  uint32_t n;
  char buf[4];
  EXPECT_EQ(QVFileWrite(r, "x", 1, &n), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVFileRead(w, buf, 1, &n), QV_E_ACCESSDENIED);
  QVFileClose(r);
  QVFileClose(w);
  EXPECT_EQ(ReadAll(path), "abc");
}

TEST(FileIo, BadHandlesAndArguments) {
  qvtest::TempDir dir;
  QVFILE f;
  ASSERT_GE(QVFileOpen(P(W(dir.File("h"))), RW | QV_FILE_CREATE, 0666, &f), 0);
  QVDIR d;
  ASSERT_EQ(QVDirOpen(P(W(dir.path())), &d), 0);
  uint32_t n, pos;
  int64_t pos64, size;
  char buf[4] = {};
  QVDirEntry entry;
  // Null out pointers.
  EXPECT_EQ(QVFileOpen(P(W(dir.File("x"))), RW | QV_FILE_CREATE, 0666, nullptr), QV_E_INVALIDARG);
  QVFILE g;
  EXPECT_EQ(QVFileOpen(nullptr, RW | QV_FILE_CREATE, 0666, &g), QV_E_INVALIDARG);
  EXPECT_EQ(g, QV_INVALID_HANDLE);
  EXPECT_EQ(QVFileRead(f, buf, 1, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileRead(f, nullptr, 1, &n), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileWrite(f, buf, 1, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileSeek(f, 0, 0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileSeek64(f, 0, 0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileGetSize(f, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVDirRead(d, nullptr), QV_E_INVALIDARG);
  // Handles of the wrong kind, made up, or closed.
  QVFILE closed;
  ASSERT_GE(QVFileOpen(P(W(dir.File("c"))), RW | QV_FILE_CREATE, 0666, &closed), 0);
  ASSERT_EQ(QVFileClose(closed), 0);
  for (QVFILE bad : {d, closed, QV_INVALID_HANDLE, static_cast<QVFILE>(nullptr), reinterpret_cast<QVFILE>(0x12340)}) {
    EXPECT_EQ(QVFileRead(bad, buf, 1, &n), QV_E_HANDLE);
    EXPECT_EQ(QVFileWrite(bad, buf, 1, &n), QV_E_HANDLE);
    EXPECT_EQ(QVFileSeek(bad, 0, 0, &pos), QV_E_HANDLE);
    EXPECT_EQ(QVFileSeek64(bad, 0, 0, &pos64), QV_E_HANDLE);
    EXPECT_EQ(QVFileFlush(bad), QV_E_HANDLE);
    EXPECT_EQ(QVFileGetSize(bad, &size), QV_E_HANDLE);
    EXPECT_EQ(QVFileLock(bad, 0, 1, 0), QV_E_HANDLE);
    EXPECT_EQ(QVFileUnlock(bad, 0, 1), QV_E_HANDLE);
    EXPECT_EQ(QVFileClose(bad), QV_E_HANDLE);
  }
  for (QVDIR bad : {f, closed, QV_INVALID_HANDLE, static_cast<QVDIR>(nullptr)}) {
    EXPECT_EQ(QVDirRead(bad, &entry), QV_E_HANDLE);
    EXPECT_EQ(QVDirClose(bad), QV_E_HANDLE);
  }
  // Both still work after being handed to the wrong functions.
  EXPECT_EQ(QVFileWrite(f, "ok", 2, &n), 0);
  EXPECT_EQ(QVDirRead(d, &entry), 0);
  EXPECT_EQ(QVFileClose(f), 0);
  EXPECT_EQ(QVFileClose(f), QV_E_HANDLE);
  EXPECT_EQ(QVDirClose(d), 0);
  EXPECT_EQ(QVDirClose(d), QV_E_HANDLE);
  EXPECT_EQ(QVFileDelete(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileDelete(P(W(dir.File("missing")))), QV_E_NOTFOUND);
}

TEST(FileIo, PathsThatCannotBeNamedOrAreTooLong) {
  qvtest::TempDir dir;
  QVFILE f;
  std::u16string lone = W(dir.File("x")) + u'\xD800' + u"y";
  EXPECT_EQ(QVFileOpen(P(lone), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG);
  EXPECT_EQ(QVFileDelete(P(lone)), QV_E_INVALIDARG);
  // Longer than the design's 263 characters but within the platform's limit.
  std::string deep = dir.path();
  while (deep.size() < 400) {
    deep += "/" + std::string(60, 'd');
    ASSERT_EQ(QVDirCreate(P(W(deep))), 0);
  }
  std::string longFile = deep + "/file";
  EXPECT_EQ(QVFileOpen(P(W(longFile)), RW | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED);
  EXPECT_EQ(QVFileClose(f), 0);
  std::string tooLong = dir.path() + "/" + std::string(300, 'n');
  EXPECT_EQ(QVFileOpen(P(W(tooLong)), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG);
  std::string wayTooLong = dir.path();
  while (wayTooLong.size() < 5000) wayTooLong += "/" + std::string(100, 'z');
  EXPECT_EQ(QVFileOpen(P(W(wayTooLong)), QV_FILE_READ, 0, &f), QV_E_INVALIDARG);
  EXPECT_EQ(f, QV_INVALID_HANDLE);
}

TEST(FileSeek, MethodsAndFailures) {
  qvtest::TempDir dir;
  QVFILE f;
  ASSERT_GE(QVFileOpen(P(W(dir.File("s"))), RW | QV_FILE_CREATE, 0666, &f), 0);
  uint32_t n, pos;
  ASSERT_EQ(QVFileWrite(f, "0123456789", 10, &n), 0);
  EXPECT_EQ(QVFileSeek(f, -3, 2, &pos), 0);
  EXPECT_EQ(pos, 7u);
  EXPECT_EQ(QVFileSeek(f, 2, 1, &pos), 0);
  EXPECT_EQ(pos, 9u);
  EXPECT_EQ(QVFileSeek(f, -10, 1, &pos), QV_E_FAIL);  // before the start
  EXPECT_EQ(pos, 0xFFFFFFFFu);
  int64_t p64;
  EXPECT_EQ(QVFileSeek64(f, -100, 0, &p64), QV_E_FAIL);
  for (uint32_t method : {3u, 4u, 0xFFFFFFFFu}) {
    EXPECT_EQ(QVFileSeek(f, 0, method, &pos), QV_E_FAIL);
    EXPECT_EQ(QVFileSeek64(f, 0, method, &p64), QV_E_FAIL);
  }
  EXPECT_EQ(QVFileSeek64(f, 0, 1, &p64), 0);
  EXPECT_EQ(p64, 9);  // no failed seek moved the position
  QVFileClose(f);
}

TEST(FileSeek, FourGibibyteBoundaryOnASparseFile) {
  qvtest::TempDir dir;
  QVFILE f;
  ASSERT_GE(QVFileOpen(P(W(dir.File("sparse"))), RW | QV_FILE_CREATE, 0666, &f), 0);
  const int64_t k4G = int64_t{1} << 32;
  int64_t p64;
  uint32_t n, pos;
  ASSERT_EQ(QVFileSeek64(f, k4G + 10, 0, &p64), 0);
  EXPECT_EQ(p64, k4G + 10);
  ASSERT_EQ(QVFileWrite(f, "X", 1, &n), 0);
  int64_t size;
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
  char c = 0;
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
  // With the default action, a raised SIGPIPE would end this test process.
  signal(SIGPIPE, SIG_DFL);
  EXPECT_EQ(QVFileWrite(f, "lost", 4, &n), QV_E_FAIL);
  EXPECT_EQ(n, 0u);
  sigset_t pending;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  EXPECT_EQ(QVFileClose(f), 0);
}

}  // namespace

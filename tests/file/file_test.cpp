#if !defined(_WIN32)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#endif

#include <atomic>
#include <future>
#include <random>
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
    std::atomic<int> created{0}, failed{0}, arrived{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&] {
        // A spinning start: std::latch's wait hung under load with mingw-w64's
        // 32-bit runtime, and spinning racers start closer together anyway.
        for (++arrived; arrived.load() < 4;) std::this_thread::yield();
        QVFILE f;
        QVRESULT r = QVFileOpen(P(path), RW | QV_FILE_CREATE, 0666, &f);
        created += r == QV_FILE_S_CREATED;
        failed += r < 0 || QVFileClose(f) != 0;
      });
    for (auto& t : threads) t.join();
    ASSERT_TRUE(created == 1 && failed == 0) << "round " << round;
  }
}

TEST(FileOpen, TemporaryFilesVanishOnCloseAndWhenTheirProcessIsKilled) {
  qvtest::TempDir dir;
  qvtest::ScopedEnv tmp("TMPDIR", dir.path().c_str());
#if defined(_WIN32)
  qvtest::ScopedEnv tmpWindows("TMP", dir.path().c_str());  // read by GetTempPathW
#endif
  std::u16string named = W(dir.File("named"));
  static const QVWCHAR kEmpty[] = {0};
  for (const QVWCHAR* path : {static_cast<const QVWCHAR*>(nullptr), kEmpty, P(named)}) {
    QVFILE f;
    uint32_t n, pos;
    char buf[8] = {};
    ExpectResults({{QVFileOpen(path, RW | QV_FILE_TEMPORARY, 0666, &f), path == P(named) ? QV_FILE_S_CREATED : 0},
                   {QVFileWrite(f, "temp", 4, &n), 0}, {QVFileSeek(f, 0, 0, &pos), 0}, {QVFileRead(f, buf, 8, &n), 0},
#if defined(_WIN32)  // made in TMP too, and a name stays until its last handle closes
                   {int32_t(List(dir.path()).size()), 3},
#else
                   {int32_t(List(dir.path()).size()), 2},  // "." and ".." only
#endif
                   {QVFileClose(f), 0}, {int32_t(List(dir.path()).size()), 2}});
    EXPECT_EQ(std::string(buf), "temp");
  }
#if !defined(_WIN32)  // fork: a killed holder's temporary files
  int ready[2];
  pid_t child = pipe(ready) == 0 ? fork() : -1;
  ASSERT_GE(child, 0);
  if (child == 0) {
    QVFILE a, b;
    bool ok = QVFileOpen(nullptr, RW | QV_FILE_TEMPORARY, 0666, &a) >= 0 &&
              QVFileOpen(P(named), RW | QV_FILE_TEMPORARY, 0666, &b) >= 0;
    (void)!write(ready[1], ok ? "1" : "0", 1);
    for (;;) pause();
  }
  char c = 0;
  EXPECT_TRUE(read(ready[0], &c, 1) == 1 && c == '1');
  kill(child, SIGKILL), waitpid(child, nullptr, 0), close(ready[0]), close(ready[1]);
  EXPECT_EQ(List(dir.path()).size(), 2u);
#endif
}

TEST(FileIo, BadHandlesArgumentsAndPaths) {
  qvtest::TempDir dir;
  QVFILE f, g, closed, r, w;
  QVDIR d;
  uint32_t n, pos;
  int64_t pos64, size;
  char buf[4] = {};
  QVDirEntry entry;
  ExpectResults({{QVFileOpen(P(W(dir.File("h"))), RW | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED},
                 {QVFileOpen(P(W(dir.File("c"))), RW | QV_FILE_CREATE, 0666, &closed), QV_FILE_S_CREATED},
                 {QVFileClose(closed), 0}, {QVDirOpen(P(W(dir.path())), &d), 0},
                 {QVFileOpen(P(W(dir.File("x"))), RW | QV_FILE_CREATE, 0666, nullptr), QV_E_INVALIDARG},
                 {QVFileOpen(nullptr, RW | QV_FILE_CREATE, 0666, &g), QV_E_INVALIDARG}, {g == QV_INVALID_HANDLE, 1},
                 // Access is per handle; a read at the end and a write of nothing succeed with a count of zero.
                 {QVFileOpen(P(W(dir.File("h"))), QV_FILE_READ, 0, &r), 0}, {QVFileOpen(P(W(dir.File("h"))), QV_FILE_WRITE, 0, &w), 0},
                 {QVFileRead(w, buf, 1, &n), QV_E_ACCESSDENIED}, {QVFileWrite(r, "x", 1, &n), QV_E_ACCESSDENIED},
                 {QVFileWrite(w, nullptr, 0, &n), 0}, {(n = 9, QVFileRead(r, buf, 4, &n)), QV_E_EOF}, {int32_t(n), 0},
                 {QVFileClose(r), 0}, {QVFileClose(w), 0}});
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
                 {QVFileDelete(P(W(dir.path()))), QV_E_ACCESSDENIED},
                 {QVFileDelete(P(W(dir.File("missing")))), QV_E_NOTFOUND}, {f == QV_INVALID_HANDLE, 1}});
  // A lone surrogate cannot be named; longer than the design's 263 characters is fine within the platform's limit.
  std::u16string lone = W(dir.File("x")) + u'\xD800' + u"y";
  std::string deep = dir.path(), wayTooLong = dir.path();
  while (deep.size() < 400) ASSERT_EQ(QVDirCreate(P(W(deep += "/" + std::string(60, 'd')))), 0);
  while (wayTooLong.size() < 5000) wayTooLong += "/" + std::string(100, 'z');
  ExpectResults({
#if !defined(_WIN32)  // Windows: a valid name, paths up to 32767 units, name lengths of the file system
                 {QVFileOpen(P(lone), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG},
                 {QVFileDelete(P(lone)), QV_E_INVALIDARG},
                 {QVFileOpen(P(W(wayTooLong)), QV_FILE_READ, 0, &f), QV_E_INVALIDARG},
                 {QVFileOpen(P(W(dir.File(std::string(300, 'n')))), RW | QV_FILE_CREATE, 0666, &f), QV_E_INVALIDARG},
                 {f == QV_INVALID_HANDLE, 1},
#endif
                 {QVFileOpen(P(W(deep + "/file")), RW | QV_FILE_CREATE, 0666, &f), QV_FILE_S_CREATED}, {QVFileClose(f), 0}});
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
  int64_t size;
  char c[16] = {};
  ASSERT_EQ(QVFileWrite(f, "0123456789", 10, &n), 0);
  run({{0, -3, 2, 0, 7}, {0, 2, 1, 0, 9}, {0, -10, 1, QV_E_FAIL, kBad}, {1, -100, 0, QV_E_FAIL, 0},  // before the start
       {0, 0, 3, QV_E_FAIL, kBad}, {1, 0, 3, QV_E_FAIL, 0}, {0, 0, 4, QV_E_FAIL, kBad}, {1, 0, 4, QV_E_FAIL, 0},
       {0, 0, kBad, QV_E_FAIL, kBad}, {1, 0, kBad, QV_E_FAIL, 0}, {1, 0, 1, 0, 9},  // no failure moved the position
       {1, k4G + 10, 0, 0, k4G + 10}});
  ExpectResults({{QVFileWrite(f, "X", 1, &n), 0}, {QVFileGetSize(f, &size), 0}, {size == k4G + 11, 1}});
  // 0xFFFFFFFF is a real position, one more does not fit.
  run({{1, k4G - 16, 0, 0, k4G - 16}, {0, 15, 1, 0, kBad}, {0, 1, 1, QV_E_FAIL, kBad}, {0, 0, 2, QV_E_FAIL, kBad},
       {1, 0, 1, 0, k4G - 1}, {0, 0x7FFFFFFF, 0, 0, 0x7FFFFFFF}, {1, -1, 2, 0, k4G + 10}, {1, k4G - 1, 0, 0, k4G - 1}});
  ExpectResults({{QVFileRead(f, c, sizeof c, &n), 0}, {QVFileClose(f), 0}});
  EXPECT_EQ(std::string(c, n), std::string(11, '\0') + "X");  // across the boundary to the end
}

#if !defined(_WIN32)  // named pipes made by mkfifo and SIGPIPE
TEST(FileIo, GonePipeFailsWithoutSignal) {
  qvtest::TempDir dir;
  std::string fifo = dir.File("fifo");
  QVFILE f;
  uint32_t n;
  sigset_t pending;
  int reader = mkfifo(fifo.c_str(), 0600) == 0 ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK) : -1;
  ASSERT_TRUE(reader >= 0 && QVFileOpen(P(W(fifo)), QV_FILE_WRITE, 0, &f) == 0);
  close(reader);
  signal(SIGPIPE, SIG_DFL);  // a raised SIGPIPE would end this test process
  ExpectResults({{QVFileWrite(f, "lost", 4, &n), QV_E_FAIL}, {int32_t(n), 0}, {QVFileClose(f), 0},
                 {sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE), 0}});
}
#endif

// Checks that a wait for bytes 0-9 on `f` blocks (in the kernel's list of blocked requests) until `release`;
// `rescue` frees a waiter that was not granted, so that a fault fails the test instead of hanging it.
void ExpectWaitGrantedAfter(QVFILE f, const std::string& path, const std::function<void()>& release,
                            const std::function<void()>& rescue = [] {}) {
#if defined(_WIN32)
  // No list of blocked requests to read: the waiter is only checked not to
  // be granted before the release.
  (void)path;
  auto waiter = std::async(std::launch::async, [&] { return QVFileLock(f, 0, 10, QV_LOCK_WAIT); });
#else
  struct stat st = {};
  stat(path.c_str(), &st);
  std::string inode = ":" + std::to_string(st.st_ino) + " ";
  auto waiter = std::async(std::launch::async, [&] { return QVFileLock(f, 0, 10, QV_LOCK_WAIT); });
  EXPECT_TRUE(qvtest::WaitUntil([&] {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) return true;
    return false;
  }));
#endif
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  release();
  bool granted = waiter.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!granted) rescue();
  EXPECT_TRUE(granted && waiter.get() == 0);
}

TEST(FileLock, TwoHandlesOfOneProcessConflict) {
  qvtest::TempDir dir;
  std::string path = dir.File("lock");
  QVFILE a, b;
  const QVRESULT F = QV_E_FAIL;
  ExpectResults({{QVFileOpen(P(W(path)), RW | QV_FILE_CREATE, 0666, &a), QV_FILE_S_CREATED},
                 {QVFileOpen(P(W(path)), RW, 0, &b), 0}, {QVFileLock(a, 0, 10, 0), 0}, {QVFileLock(b, 5, 5, 0), F},
                 {QVFileLock(b, 9, 1, QV_LOCK_SHARED), F}, {QVFileLock(b, 10, 5, 0), 0},  // adjacent: no conflict
                 {QVFileLock(a, 0, 10, QV_LOCK_SHARED), F},  // an exclusive range is not silently turned shared
                 {QVFileLock(b, 0, 1, 0), F}, {QVFileLock(a, 0, 0, 0), F},  // an empty range
                 // Unlocking needs the exact range of an earlier lock of the same handle.
                 {QVFileUnlock(a, 0, 5), F}, {QVFileUnlock(a, 20, 5), F}, {QVFileUnlock(b, 0, 10), F},
                 {QVFileUnlock(b, 10, 5), 0}});
  ExpectWaitGrantedAfter(b, path, [&] { EXPECT_EQ(QVFileUnlock(a, 0, 10), 0); });
  // Shared locks stack; releasing one of two overlapping ones keeps the other's bytes locked.
  ExpectResults({{QVFileUnlock(a, 0, 10), F}, {QVFileLock(a, 0, 10, 0), F}, {QVFileUnlock(b, 0, 10), 0},
                 {QVFileLock(a, 0, 100, QV_LOCK_SHARED), 0}, {QVFileLock(a, 50, 100, QV_LOCK_SHARED), 0},
                 {QVFileLock(b, 0, 100, QV_LOCK_SHARED), 0}, {QVFileUnlock(b, 0, 100), 0}, {QVFileUnlock(a, 0, 100), 0},
                 {QVFileLock(b, 60, 10, 0), F}, {QVFileLock(b, 0, 50, 0), 0}, {QVFileUnlock(a, 50, 100), 0},
                 {QVFileLock(b, 60, 10, 0), 0}, {QVFileClose(a), 0}, {QVFileClose(b), 0}});
}

#if !defined(_WIN32)  // fork
TEST(FileLock, BetweenProcessesTheHolderUnlocksOrIsKilled) {
  for (bool killHolder : {false, true}) {
    SCOPED_TRACE(killHolder ? "holder killed" : "holder unlocks");
    qvtest::TempDir dir;
    std::string path = dir.File("xproc");
    int toChild[2], fromChild[2];
    pid_t child = pipe(toChild) + pipe(fromChild) == 0 ? fork() : -1;
    ASSERT_GE(child, 0);
    if (child == 0) {
      QVFILE f;
      char c = QVFileOpen(P(W(path)), RW | QV_FILE_CREATE, 0666, &f) >= 0 && QVFileLock(f, 0, 10, 0) == 0 ? '1' : '0';
      (void)!write(fromChild[1], &c, 1);
      if (read(toChild[0], &c, 1) == 1) QVFileUnlock(f, 0, 10);
      for (;;) pause();
    }
    pollfd pfd = {fromChild[0], POLLIN, 0};
    char c = 0;
    ASSERT_TRUE(poll(&pfd, 1, 10000) == 1 && read(fromChild[0], &c, 1) == 1 && c == '1');
    QVFILE f;
    ExpectResults({{QVFileOpen(P(W(path)), RW, 0, &f), 0}, {QVFileLock(f, 2, 1, QV_LOCK_SHARED), QV_E_FAIL}});
    auto end = [&] { kill(child, SIGKILL); };
    std::function<void()> unlock = [&] { (void)!write(toChild[1], "u", 1); };
    ExpectWaitGrantedAfter(f, path, killHolder ? end : unlock, end);
    end(), waitpid(child, nullptr, 0), QVFileClose(f);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
  }
}
#endif

TEST(FileCopy, SizesAroundTheBufferAndAnOpenDestination) {
  qvtest::TempDir dir;
  std::mt19937 gen(1);
  const uint32_t CT = QV_FILE_CREATE | QV_FILE_TRUNCATE;
  for (size_t size : {0u, 1u, 16384u, 40000u, (3u << 20) + 7}) {
    SCOPED_TRACE(size);
    std::string src = dir.File("src" + std::to_string(size)), dst = dir.File("dst" + std::to_string(size));
    std::string data;
    while (data.size() < size) data += static_cast<char>(gen());
    WriteAll(src, data);
    EXPECT_EQ(QVFileCopy(P(W(src)), P(W(dst)), CT, 0666, nullptr), QV_FILE_S_CREATED);
    EXPECT_EQ(ReadFile(dst), data);
    WriteAll(dst, std::string(size + 100, 'z'));
    EXPECT_EQ(QVFileCopy(P(W(src)), P(W(dst)), CT, 0666, nullptr), 0);
    EXPECT_EQ(ReadFile(dst), data);
  }
  std::string src = dir.File("s"), dst = dir.File("d");
  WriteAll(src, "abc"), WriteAll(dst, "123");
  QVFILE out;
  uint32_t n;
  ExpectResults({{QVFileCopy(P(W(src)), P(W(dst)), QV_FILE_APPEND, 0666, &out), 0},  // kept open when asked
                 {QVFileWrite(out, "!", 1, &n), 0}, {QVFileClose(out), 0}, {ReadFile(dst) == "123abc!", 1}});
}

TEST(FileCopy, FailuresLeaveThingsAsTheyWere) {
  qvtest::TempDir dir;
  std::string self = dir.File("self"), src = dir.File("s"), ro = dir.File("ro"), sub = dir.File("sub");
  WriteAll(self, "precious");
  // Onto itself, by any name, is refused.
#if defined(_WIN32)  // links are POSIX here
  for (const std::string& dst : {self, dir.path() + "/./self"})
#else
  ASSERT_EQ(link(self.c_str(), dir.File("hard").c_str()) + symlink(self.c_str(), dir.File("soft").c_str()), 0);
  for (const std::string& dst : {self, dir.path() + "/./self", dir.File("hard"), dir.File("soft")})
#endif
    for (uint32_t flags : {QV_FILE_CREATE | QV_FILE_TRUNCATE, QV_FILE_APPEND, QV_FILE_TEMPORARY}) {
      SCOPED_TRACE(dst + " " + std::to_string(flags));
      QVFILE out = nullptr;
      ExpectResults({{QVFileCopy(P(W(self)), P(W(dst)), flags, 0666, &out), QV_E_INVALIDARG},
                     {out == QV_INVALID_HANDLE && ReadFile(self) == "precious" && Exists(dst), 1}});
    }
  WriteAll(src, "data");
  ASSERT_TRUE(std::filesystem::create_directory(sub));
  QVFILE out = nullptr, g;
  uint32_t n;
  const uint32_t C = QV_FILE_CREATE, CT = QV_FILE_CREATE | QV_FILE_TRUNCATE;
  // Created without write bits: the creating handle may still write, as on Windows; later writers are
  // refused even when privileged.
  ExpectResults({{QVFileOpen(P(W(ro)), RW | C, 0444, &g), QV_FILE_S_CREATED}, {QVFileWrite(g, "keep", 4, &n), 0},
                 {QVFileClose(g), 0}, {QVFileOpen(P(W(ro)), QV_FILE_WRITE, 0, &g), QV_E_ACCESSDENIED},
                 {QVFileCopy(P(W(src)), P(W(ro)), CT, 0666, &out), QV_E_ACCESSDENIED},
                 {QVFileCopy(P(W(src)), P(W(sub)), CT, 0666, nullptr), QV_E_ACCESSDENIED},
                 {QVFileCopy(P(W(sub)), P(W(dir.File("n1"))), C, 0666, nullptr), QV_E_ACCESSDENIED},
                 {QVFileCopy(P(W(dir.File("missing"))), P(W(dir.File("n2"))), C, 0666, nullptr), QV_E_NOTFOUND},
                 {QVFileCopy(P(W(src)), P(W(ro)), C | QV_FILE_EXCLUSIVE, 0666, nullptr), QV_E_EXISTS},
                 {QVFileCopy(nullptr, P(W(ro)), 0, 0, nullptr), QV_E_INVALIDARG}});
  // A destination that cannot take the data: the fallback path reports it.
  if (Exists("/dev/full")) { EXPECT_EQ(QVFileCopy(P(W(src)), P(u"/dev/full"), 0, 0, nullptr), QV_E_FAIL); }
  EXPECT_TRUE(out == QV_INVALID_HANDLE && ReadFile(ro) == "keep" && !Exists(dir.File("n1")) && !Exists(dir.File("n2")));
}

}  // namespace

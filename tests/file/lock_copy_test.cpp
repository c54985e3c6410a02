// Byte-range locks between handles and processes, and copies.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <random>

#include "file/file_support.h"

using namespace filetest;

namespace {

QVFILE OpenRW(const std::string& path) {
  QVFILE f = QV_INVALID_HANDLE;
  EXPECT_GE(QVFileOpen(P(W(path)), RW | QV_FILE_CREATE, 0666, &f), 0);
  return f;
}

// Starts a wait for bytes 0-9 on `f` and checks, through the kernel's list of blocked lock requests,
// that it blocks; lets `release` free the bytes and checks the grant. `rescue` frees a waiter that was
// not granted, so that a fault fails the test instead of hanging it.
void ExpectWaitGrantedAfter(QVFILE f, const std::string& path, const std::function<void()>& release,
                            const std::function<void()>& rescue = [] {}) {
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  std::string inode = ":" + std::to_string(st.st_ino) + " ";
  auto waiter = std::async(std::launch::async, [&] { return QVFileLock(f, 0, 10, QV_LOCK_WAIT); });
  EXPECT_TRUE(qvtest::WaitUntil([&] {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) return true;
    return false;
  }));
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  release();
  bool granted = waiter.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!granted) rescue();
  EXPECT_TRUE(granted);
  EXPECT_EQ(waiter.get(), 0);
}

TEST(FileLock, TwoHandlesOfOneProcessConflict) {
  qvtest::TempDir dir;
  std::string path = dir.File("lock");
  QVFILE a = OpenRW(path), b = OpenRW(path);
  const QVRESULT F = QV_E_FAIL;
  ExpectResults({{QVFileLock(a, 0, 10, 0), 0}, {QVFileLock(b, 5, 5, 0), F}, {QVFileLock(b, 9, 1, QV_LOCK_SHARED), F},
                 {QVFileLock(b, 10, 5, 0), 0},  // adjacent ranges do not conflict
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

// A child process holds an exclusive lock until told to unlock or killed.
TEST(FileLock, BetweenProcessesUnlockOrKill) {
  for (bool killHolder : {false, true}) {
    SCOPED_TRACE(killHolder ? "holder killed" : "holder unlocks");
    qvtest::TempDir dir;
    std::string path = dir.File("xproc");
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe(toChild) + pipe(fromChild), 0);
    pid_t child = fork();
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
    ASSERT_EQ(poll(&pfd, 1, 10000), 1);
    ASSERT_EQ(read(fromChild[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    QVFILE f = OpenRW(path);
    EXPECT_EQ(QVFileLock(f, 2, 1, QV_LOCK_SHARED), QV_E_FAIL);
    auto end = [&] { kill(child, SIGKILL); };
    ExpectWaitGrantedAfter(f, path, killHolder ? std::function<void()>(end) : [&] { (void)!write(toChild[1], "u", 1); }, end);
    end();
    waitpid(child, nullptr, 0);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
    QVFileClose(f);
  }
}

TEST(FileCopy, SizesAroundTheBufferAndAnOpenDestination) {
  qvtest::TempDir dir;
  std::mt19937 gen(1);
  const uint32_t CT = QV_FILE_CREATE | QV_FILE_TRUNCATE;
  for (size_t size : {0u, 1u, 16384u, 40000u, (3u << 20) + 7}) {
    SCOPED_TRACE(size);
    std::string src = dir.File("src" + std::to_string(size)), dst = dir.File("dst" + std::to_string(size));
    std::string data(size, '\0');
    for (auto& ch : data) ch = static_cast<char>(gen());
    WriteAll(src, data);
    EXPECT_EQ(QVFileCopy(P(W(src)), P(W(dst)), CT, 0666, nullptr), QV_FILE_S_CREATED);
    EXPECT_EQ(ReadFile(dst), data);
    WriteAll(dst, std::string(size + 100, 'z'));
    EXPECT_EQ(QVFileCopy(P(W(src)), P(W(dst)), CT, 0666, nullptr), 0);
    EXPECT_EQ(ReadFile(dst), data);
  }
  std::string src = dir.File("s"), dst = dir.File("d");
  WriteAll(src, "abc");
  WriteAll(dst, "123");
  QVFILE out;
  uint32_t n;
  ExpectResults({{QVFileCopy(P(W(src)), P(W(dst)), QV_FILE_APPEND, 0666, &out), 0},  // kept open when asked
                 {QVFileWrite(out, "!", 1, &n), 0}, {QVFileClose(out), 0}});
  EXPECT_EQ(ReadFile(dst), "123abc!");
}

TEST(FileCopy, OntoItselfIsRefusedAndTheFileKept) {
  qvtest::TempDir dir;
  std::string src = dir.File("self");
  WriteAll(src, "precious");
  ASSERT_EQ(link(src.c_str(), dir.File("hard").c_str()) + symlink(src.c_str(), dir.File("soft").c_str()), 0);
  for (const std::string& dst : {src, dir.path() + "/./self", dir.File("hard"), dir.File("soft")})
    for (uint32_t flags : {QV_FILE_CREATE | QV_FILE_TRUNCATE, QV_FILE_APPEND, QV_FILE_TEMPORARY}) {
      SCOPED_TRACE(dst + " " + std::to_string(flags));
      QVFILE out = nullptr;
      EXPECT_EQ(QVFileCopy(P(W(src)), P(W(dst)), flags, 0666, &out), QV_E_INVALIDARG);
      EXPECT_EQ(out, QV_INVALID_HANDLE);
      EXPECT_EQ(ReadFile(src), "precious");
      EXPECT_TRUE(Exists(dst));
    }
}

TEST(FileCopy, FailuresLeaveThingsAsTheyWere) {
  qvtest::TempDir dir;
  std::string src = dir.File("s"), ro = dir.File("ro"), sub = dir.File("sub");
  WriteAll(src, "data");
  WriteAll(ro, "keep");
  ASSERT_EQ(chmod(ro.c_str(), 0444) + mkdir(sub.c_str(), 0700), 0);
  QVFILE out = nullptr;
  const uint32_t C = QV_FILE_CREATE, CT = QV_FILE_CREATE | QV_FILE_TRUNCATE;
  ExpectResults({{QVFileCopy(P(W(src)), P(W(ro)), CT, 0666, &out), QV_E_ACCESSDENIED},
                 {QVFileCopy(P(W(src)), P(W(sub)), CT, 0666, nullptr), QV_E_ACCESSDENIED},
                 {QVFileCopy(P(W(sub)), P(W(dir.File("n1"))), C, 0666, nullptr), QV_E_ACCESSDENIED},
                 {QVFileCopy(P(W(dir.File("missing"))), P(W(dir.File("n2"))), C, 0666, nullptr), QV_E_NOTFOUND},
                 {QVFileCopy(P(W(src)), P(W(ro)), C | QV_FILE_EXCLUSIVE, 0666, nullptr), QV_E_EXISTS},
                 {QVFileCopy(nullptr, P(W(ro)), 0, 0, nullptr), QV_E_INVALIDARG}});
  // A destination that cannot take the data: the fallback path reports it.
  if (Exists("/dev/full")) { EXPECT_EQ(QVFileCopy(P(W(src)), P(u"/dev/full"), 0, 0, nullptr), QV_E_FAIL); }
  EXPECT_EQ(out, QV_INVALID_HANDLE);
  EXPECT_EQ(ReadFile(ro), "keep");
  EXPECT_FALSE(Exists(dir.File("n1")) || Exists(dir.File("n2")));
}

}  // namespace

// Eight threads mix every kind of hold on one lock for about two seconds,
// while an independent record of who is inside checks the lock's promise.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "sync/rwlock.h"

using namespace std::chrono_literals;

namespace {

enum Kind { kRead, kReRead, kWrite, kWriteThenRead, kUpgrade, kTryRead, kTryWrite, kTryUpgrade, kKinds };

struct Shared {
  QVRWLOCK lock;
  std::atomic<int> readers{0};
  std::atomic<int> writers{0};
  std::atomic<int> violations{0};
  std::atomic<int> unexpected{0};
  std::atomic<long> done[kKinds] = {};
  std::atomic<long> refusedUpgrades{0};

  void EnterRead() {
    readers.fetch_add(1);
    if (writers.load() != 0) violations.fetch_add(1);
  }
  void LeaveRead() { readers.fetch_sub(1); }
  void EnterWrite() {
    if (writers.fetch_add(1) != 0) violations.fetch_add(1);
    if (readers.load() != 0) violations.fetch_add(1);
  }
  void LeaveWrite() { writers.fetch_sub(1); }
  void Expect(QVRESULT got, QVRESULT want) {
    if (got != want) unexpected.fetch_add(1);
  }
};

void Linger(std::mt19937& rng) {
  if (rng() % 4 == 0) std::this_thread::yield();
}

// Holding `reads` reads and the write lock: releases the write lock (the
// reads stay) and then the reads.
void FinishWriteWithReads(Shared& s, std::mt19937& rng, int reads) {
  s.LeaveWrite();
  s.Expect(QVRWLockReleaseWrite(s.lock), 0);
  if (reads == 0) return;
  s.EnterRead();
  Linger(rng);
  s.LeaveRead();
  for (int i = 0; i < reads; ++i) s.Expect(QVRWLockReleaseRead(s.lock), 0);
}

void Upgrade(Shared& s, std::mt19937& rng, bool tryOnly) {
  s.Expect(QVRWLockAcquireRead(s.lock), 0);
  s.EnterRead();
  QVRESULT r = tryOnly ? QVRWLockTryAcquireWrite(s.lock) : QVRWLockAcquireWrite(s.lock);
  if (r == 0) {
    s.LeaveRead();
    s.EnterWrite();
    Linger(rng);
    FinishWriteWithReads(s, rng, 1);
    s.done[tryOnly ? kTryUpgrade : kUpgrade].fetch_add(1);
    return;
  }
  if (r != QV_E_FAIL) s.unexpected.fetch_add(1);
  if (!tryOnly) s.refusedUpgrades.fetch_add(1);
  s.LeaveRead();
  s.Expect(QVRWLockReleaseRead(s.lock), 0);
}

void Mix(Shared& s, unsigned seed, std::chrono::steady_clock::time_point end) {
  std::mt19937 rng(seed);
  while (std::chrono::steady_clock::now() < end) {
    const Kind kind = static_cast<Kind>(rng() % kKinds);
    switch (kind) {
      case kRead:
      case kReRead: {
        const int again = kind == kReRead ? 1 + static_cast<int>(rng() % 3) : 0;
        s.Expect(QVRWLockAcquireRead(s.lock), 0);
        s.EnterRead();
        for (int i = 0; i < again; ++i) {
          s.Expect(QVRWLockAcquireRead(s.lock), 0);
          Linger(rng);
        }
        s.LeaveRead();
        for (int i = 0; i <= again; ++i) s.Expect(QVRWLockReleaseRead(s.lock), 0);
        break;
      }
      case kWrite: {
        s.Expect(QVRWLockAcquireWrite(s.lock), 0);
        s.EnterWrite();
        if (rng() % 2) {
          s.Expect(QVRWLockAcquireWrite(s.lock), 0);
          s.Expect(QVRWLockReleaseWrite(s.lock), 0);
        }
        Linger(rng);
        FinishWriteWithReads(s, rng, 0);
        break;
      }
      case kWriteThenRead: {
        s.Expect(QVRWLockAcquireWrite(s.lock), 0);
        s.EnterWrite();
        const int reads = 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < reads; ++i) s.Expect(QVRWLockAcquireRead(s.lock), 0);
        const int keep = static_cast<int>(rng() % (reads + 1));  // the rest go while still writing
        for (int i = keep; i < reads; ++i) s.Expect(QVRWLockReleaseRead(s.lock), 0);
        FinishWriteWithReads(s, rng, keep);
        break;
      }
      case kUpgrade:
      case kTryUpgrade:
        Upgrade(s, rng, kind == kTryUpgrade);
        continue;
      case kTryRead: {
        QVRESULT r = QVRWLockTryAcquireRead(s.lock);
        if (r == QV_E_FAIL) continue;
        s.Expect(r, 0);
        s.EnterRead();
        Linger(rng);
        s.LeaveRead();
        s.Expect(QVRWLockReleaseRead(s.lock), 0);
        break;
      }
      case kTryWrite: {
        QVRESULT r = QVRWLockTryAcquireWrite(s.lock);
        if (r == QV_E_FAIL) continue;
        s.Expect(r, 0);
        s.EnterWrite();
        Linger(rng);
        FinishWriteWithReads(s, rng, 0);
        break;
      }
      default: break;
    }
    s.done[kind].fetch_add(1);
  }
}

}  // namespace

TEST(RWLockStress, EightThreadsNeverSeeAReaderBesideAWriterNorTwoWriters) {
  Shared s;
  ASSERT_EQ(QVRWLockCreate("stress", 0, &s.lock), 0);

  // A deadlock must fail the test with a message, not hang the suite.
  std::mutex doneMutex;
  std::condition_variable doneCv;
  bool finished = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> g(doneMutex);
    if (!doneCv.wait_for(g, 30s, [&] { return finished; })) {
      std::fprintf(stderr, "reader-writer stress test: no progress after 30 s (deadlock)\n");
      std::abort();
    }
  });

  const auto end = std::chrono::steady_clock::now() + 2s;
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < 8; ++i) threads.emplace_back(Mix, std::ref(s), 1234u + i, end);
  for (auto& t : threads) t.join();
  {
    std::lock_guard<std::mutex> g(doneMutex);
    finished = true;
  }
  doneCv.notify_one();
  watchdog.join();

  EXPECT_EQ(s.violations.load(), 0);
  EXPECT_EQ(s.unexpected.load(), 0);
  const char* names[kKinds] = {"read", "re-read", "write", "write+read", "upgrade", "try-read", "try-write", "try-upgrade"};
  for (int k = 0; k < kKinds; ++k) {
    EXPECT_GT(s.done[k].load(), 0) << names[k];
    std::printf("  %-12s %ld\n", names[k], s.done[k].load());
  }
  std::printf("  refused upgrades %ld\n", s.refusedUpgrades.load());
  // Everything was released: the lock is free and knows no readers.
  EXPECT_TRUE(qv::sync::CQVRWLockImpl::FromHandle(s.lock)->Readers().empty());
  EXPECT_EQ(QVRWLockTryAcquireWrite(s.lock), 0);
  EXPECT_EQ(QVRWLockReleaseWrite(s.lock), 0);
  EXPECT_EQ(QVRWLockDestroy(s.lock), 0);
}

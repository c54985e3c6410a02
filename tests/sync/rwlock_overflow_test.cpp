// More reading threads than the lock has slots: the rest go to the overflow
// list, and they must still share, re-enter, hold off writers and release.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "sync/rwlock.h"

using namespace std::chrono_literals;
using qv::sync::CQVRWLockImpl;

namespace {

// Counts threads in, holds them until released; every wait has a limit.
class Rendezvous {
 public:
  void Arrive() {
    std::lock_guard<std::mutex> g(m_mutex);
    ++m_arrived;
    m_cv.notify_all();
  }
  bool WaitForArrivals(int n) {
    std::unique_lock<std::mutex> g(m_mutex);
    return m_cv.wait_for(g, 20s, [&] { return m_arrived >= n; });
  }
  void Release() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_released = true;
    m_cv.notify_all();
  }
  bool WaitForRelease() {
    std::unique_lock<std::mutex> g(m_mutex);
    return m_cv.wait_for(g, 20s, [&] { return m_released; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  int m_arrived = 0;
  bool m_released = false;
};

struct ReaderResults {
  QVRESULT first = -1, again = -1, release1 = -1, release2 = -1, extra = 0;
  bool released = false;
};

// n threads read twice each and hold their reads until told to let go.
void ManyReaders(QVRWLOCK l, int n, Rendezvous& rv, std::vector<ReaderResults>& results,
                 std::vector<std::thread>& threads) {
  results.resize(n);
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&rv, &results, l, i] {
      ReaderResults& r = results[i];
      r.first = QVRWLockAcquireRead(l);
      r.again = QVRWLockAcquireRead(l);
      rv.Arrive();
      r.released = rv.WaitForRelease();
      r.release1 = QVRWLockReleaseRead(l);
      r.release2 = QVRWLockReleaseRead(l);
      r.extra = QVRWLockReleaseRead(l);
    });
  }
}

}  // namespace

TEST(RWLockOverflow, ReadersBeyondTheSlotsShareReEnterAndHoldOffAWriter) {
  QVRWLOCK l;
  ASSERT_EQ(QVRWLockCreate("overflow", 0, &l), 0);
  auto* impl = CQVRWLockImpl::FromHandle(l);
  const int n = static_cast<int>(CQVRWLockImpl::kSlots) + 6;
  Rendezvous rv;
  std::vector<ReaderResults> results;
  std::vector<std::thread> threads;
  ManyReaders(l, n, rv, results, threads);
  ASSERT_TRUE(rv.WaitForArrivals(n));

  auto readers = impl->Readers();
  EXPECT_EQ(readers.size(), static_cast<size_t>(n));
  for (const auto& e : readers) EXPECT_EQ(e.holds, 2u);
  EXPECT_GE(impl->OverflowCount(), 6u);
  EXPECT_EQ(QVRWLockTryAcquireWrite(l), QV_E_FAIL);

  std::promise<QVRESULT> written;
  auto writtenResult = written.get_future();
  std::thread writer([&] {
    const QVRESULT r = QVRWLockAcquireWrite(l);
    written.set_value(r);
    if (r == 0) QVRWLockReleaseWrite(l);
  });
  EXPECT_EQ(writtenResult.wait_for(80ms), std::future_status::timeout);  // readers still in
  rv.Release();
  for (auto& t : threads) t.join();
  ASSERT_EQ(writtenResult.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(writtenResult.get(), 0);
  writer.join();

  for (const auto& r : results) {
    EXPECT_TRUE(r.released);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.again, 0);
    EXPECT_EQ(r.release1, 0);
    EXPECT_EQ(r.release2, 0);
    EXPECT_EQ(r.extra, QV_E_FAIL);
  }
  EXPECT_TRUE(impl->Readers().empty());
  EXPECT_EQ(impl->OverflowCount(), 0u);
  EXPECT_EQ(QVRWLockTryAcquireWrite(l), 0);
  EXPECT_EQ(QVRWLockReleaseWrite(l), 0);
  EXPECT_EQ(QVRWLockDestroy(l), 0);
}

// Threads give their slot back when they end: after waves of more threads
// than slots, a new reader gets a slot again.
TEST(RWLockOverflow, EndedThreadsGiveTheirSlotsBack) {
  QVRWLOCK l;
  ASSERT_EQ(QVRWLockCreate("overflow-waves", 0, &l), 0);
  auto* impl = CQVRWLockImpl::FromHandle(l);
  const int n = static_cast<int>(CQVRWLockImpl::kSlots) + 2;
  for (int wave = 0; wave < 3; ++wave) {
    Rendezvous rv;
    std::vector<ReaderResults> results;
    std::vector<std::thread> threads;
    ManyReaders(l, n, rv, results, threads);
    ASSERT_TRUE(rv.WaitForArrivals(n));
    EXPECT_GE(impl->OverflowCount(), 2u);
    rv.Release();
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r.extra, QV_E_FAIL);
  }
  std::thread fresh([&] {
    EXPECT_EQ(QVRWLockAcquireRead(l), 0);
    EXPECT_EQ(impl->OverflowCount(), 0u);  // in a slot
    EXPECT_EQ(QVRWLockReleaseRead(l), 0);
  });
  fresh.join();
  EXPECT_TRUE(impl->Readers().empty());
  EXPECT_EQ(QVRWLockDestroy(l), 0);
}

// Slot readers, overflow readers and writers race for a second; an
// independent record of who is inside must never show a reader beside a
// writer, and every call must give the expected result.
TEST(RWLockOverflow, SlotAndOverflowReadersRacingWritersNeverMeetAWriter) {
  QVRWLOCK l;
  ASSERT_EQ(QVRWLockCreate("overflow-race", 0, &l), 0);
  const int n = static_cast<int>(CQVRWLockImpl::kSlots) + 4;
  std::atomic<int> readers{0}, writers{0}, violations{0}, unexpected{0};
  std::atomic<long> reads{0}, writes{0};
  const auto end = std::chrono::steady_clock::now() + 1s;
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      auto expect = [&](QVRESULT got) {
        if (got != 0) unexpected.fetch_add(1);
      };
      for (unsigned k = 0; std::chrono::steady_clock::now() < end; ++k) {
        if ((k + static_cast<unsigned>(i)) % 8 == 0) {
          expect(QVRWLockAcquireWrite(l));
          if (writers.fetch_add(1) != 0 || readers.load() != 0) violations.fetch_add(1);
          writers.fetch_sub(1);
          expect(QVRWLockReleaseWrite(l));
          writes.fetch_add(1);
        } else {
          expect(QVRWLockAcquireRead(l));
          readers.fetch_add(1);
          if (writers.load() != 0) violations.fetch_add(1);
          if (k % 3 == 0) {
            expect(QVRWLockAcquireRead(l));  // re-entry
            expect(QVRWLockReleaseRead(l));
          }
          readers.fetch_sub(1);
          expect(QVRWLockReleaseRead(l));
          reads.fetch_add(1);
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_GT(reads.load(), 0);
  EXPECT_GT(writes.load(), 0);
  EXPECT_TRUE(CQVRWLockImpl::FromHandle(l)->Readers().empty());
  EXPECT_EQ(QVRWLockTryAcquireWrite(l), 0);
  EXPECT_EQ(QVRWLockReleaseWrite(l), 0);
  EXPECT_EQ(QVRWLockDestroy(l), 0);
}

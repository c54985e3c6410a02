#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/mutex.h"

namespace {

class Mutex {
 public:
  explicit Mutex(uint32_t flags, const char* name = "test") { EXPECT_EQ(QVMutexCreate(name, flags, &m_handle), 0); }
  ~Mutex() { QVMutexDestroy(m_handle); }
  QVMUTEX get() const { return m_handle; }

 private:
  QVMUTEX m_handle;
};

// Runs fn on another thread and returns its result.
template <class Fn>
auto OnOtherThread(Fn fn) {
  decltype(fn()) result{};
  std::thread([&] { result = fn(); }).join();
  return result;
}

}  // namespace

TEST(Mutex, PlainIsRecursiveAndExcludesOtherThreads) {
  Mutex m(0);
  ASSERT_EQ(QVMutexAcquire(m.get()), 0);
  ASSERT_EQ(QVMutexAcquire(m.get()), 0);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexTryAcquire(m.get()); }), QV_E_FAIL);
  EXPECT_EQ(QVMutexRelease(m.get()), 0);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexTryAcquire(m.get()); }), QV_E_FAIL);  // still held once
  EXPECT_EQ(QVMutexRelease(m.get()), 0);
  EXPECT_EQ(QVMutexAssertOwnership(m.get(), 1), 1);
  EXPECT_EQ(QVMutexAssertOwnership(m.get(), 0), 1);
  QVLockStats stats{1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(qv::sync::CQVMutex::FromHandle(m.get())->GetLockStats(&stats), QV_E_NOTIMPL);
  EXPECT_EQ(stats.maxAcquireTime, 1);  // untouched
  EXPECT_NE(QVMutexGetOSMutex(m.get()), nullptr);
}

TEST(Mutex, NamesAndFlagsAreKeptAndNoStatsWins) {
  QVMUTEX m;
  ASSERT_EQ(QVMutexCreate(nullptr, 0x1234, &m), 0);
  auto* obj = qv::sync::CQVMutex::FromHandle(m);
  EXPECT_EQ(obj->GetName(), "");
  EXPECT_EQ(obj->GetFlags(), 0x1234u);  // unknown bits are kept
  EXPECT_EQ(obj->IsStatsExcluded(), 1);
  EXPECT_EQ(QVMutexDestroy(m), 0);

  ASSERT_EQ(QVMutexCreate("n", QV_MUTEX_NOSTATS | QV_MUTEX_STATS, &m), 0);
  obj = qv::sync::CQVMutex::FromHandle(m);
  EXPECT_EQ(obj->GetName(), "n");
  EXPECT_EQ(obj->GetFlags(), QV_MUTEX_NOSTATS);
  EXPECT_TRUE(obj->IsPlain());
  EXPECT_EQ(QVMutexDestroy(m), 0);
}

TEST(Mutex, CheckedNonRecursiveRefusesTheOwnerAndForeignReleases) {
  qvtest::ScopedAlertMethod alerts(QV_ALERT_FORMAT);
  Mutex m(QV_MUTEX_CHECKED | QV_MUTEX_NONRECURSIVE);
  qvtest::StderrCapture capture;
  ASSERT_EQ(QVMutexAcquire(m.get()), 0);
  EXPECT_EQ(QVMutexAcquire(m.get()), QV_E_FAIL);     // does not block
  EXPECT_EQ(QVMutexTryAcquire(m.get()), QV_E_FAIL);  // same check
  EXPECT_EQ(OnOtherThread([&] { return QVMutexTryAcquire(m.get()); }), QV_E_FAIL);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexRelease(m.get()); }), QV_E_FAIL);
  EXPECT_EQ(QVMutexAssertOwnership(m.get(), 1), 1);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexAssertOwnership(m.get(), 1); }), 0);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexAssertOwnership(m.get(), 0); }), 1);
  EXPECT_EQ(QVMutexRelease(m.get()), 0);
  EXPECT_EQ(QVMutexRelease(m.get()), QV_E_FAIL);  // unheld: the owner check fails first
  std::string out = capture.Finish();
  EXPECT_EQ(out,
            "QVCore Critical Error: CQVCoreMutexChecked::preAcquire m_owner check failed\n"
            "QVCore Critical Error: CQVCoreMutexChecked::preAcquire m_owner check failed\n"
            "QVCore Critical Error: CQVCoreMutexChecked::preRelease m_owner check failed\n"
            "QVCore Critical Error: CQVCoreMutexChecked::preRelease m_owner check failed\n");
  // The failed checks changed nothing: another thread can take it now.
  EXPECT_EQ(OnOtherThread([&] {
              QVRESULT r = QVMutexTryAcquire(m.get());
              if (r == 0) QVMutexRelease(m.get());
              return r;
            }),
            0);
}

TEST(Mutex, CheckedRecursiveCountsDepth) {
  qvtest::ScopedAlertMethod alerts(QV_ALERT_FORMAT);
  Mutex m(QV_MUTEX_CHECKED);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(QVMutexAcquire(m.get()), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(QVMutexRelease(m.get()), 0);
  qvtest::StderrCapture capture;
  EXPECT_EQ(QVMutexRelease(m.get()), QV_E_FAIL);
  EXPECT_EQ(capture.Finish(), "QVCore Critical Error: CQVCoreMutexChecked::preRelease m_owner check failed\n");
}

TEST(Mutex, AlertsStaySilentByDefault) {
  QVErrorAlertSetMethod(0);
  Mutex m(QV_MUTEX_CHECKED);
  qvtest::StderrCapture capture;
  EXPECT_EQ(QVMutexRelease(m.get()), QV_E_FAIL);
  EXPECT_EQ(capture.Finish(), "");
}

TEST(Mutex, StatisticsMeasureHoldsWaitsAndContention) {
  Mutex m(QV_MUTEX_STATS, "measured");
  auto* obj = qv::sync::CQVMutex::FromHandle(m.get());
  ASSERT_EQ(QVMutexAcquire(m.get()), 0);
  ASSERT_EQ(QVMutexAcquire(m.get()), 0);  // recursive acquisitions count too
  QVSleep(5);
  ASSERT_EQ(QVMutexRelease(m.get()), 0);
  ASSERT_EQ(QVMutexRelease(m.get()), 0);
  QVLockStats s;
  ASSERT_EQ(obj->GetLockStats(&s), 0);
  EXPECT_EQ(s.acquireCount, 2);
  EXPECT_EQ(s.heldCount, 2);
  EXPECT_GE(s.totalHeldTime, 5000);
  EXPECT_EQ(s.maxHeldTime, s.totalHeldTime);
  EXPECT_EQ(s.contentionCount, 0);

  // Another thread that must wait counts as contention and measures its wait.
  ASSERT_EQ(QVMutexAcquire(m.get()), 0);
  std::thread waiter([&] {
    QVMutexAcquire(m.get());
    QVMutexRelease(m.get());
  });
  EXPECT_TRUE(qvtest::WaitUntil([&] { return qvtest::LockHasWaiter(QVMutexGetOSMutex(m.get())); }));
  QVSleep(2);  // a wait long enough to measure
  QVMutexRelease(m.get());
  waiter.join();
  ASSERT_EQ(obj->GetLockStats(&s), 0);
  EXPECT_EQ(s.contentionCount, 1);
  EXPECT_EQ(s.acquireCount, 4);
  EXPECT_GE(s.maxAcquireTime, 1000);

  // A reset clears the numbers but not a hold in progress.
  ASSERT_EQ(QVMutexAcquire(m.get()), 0);
  obj->ResetLockStats();
  ASSERT_EQ(obj->GetLockStats(&s), 0);
  EXPECT_EQ(s.acquireCount, 0);
  EXPECT_EQ(s.contentionCount, 0);
  QVSleep(3);
  QVMutexRelease(m.get());
  ASSERT_EQ(obj->GetLockStats(&s), 0);
  EXPECT_EQ(s.heldCount, 1);
  EXPECT_GE(s.totalHeldTime, 3000);
}

TEST(Mutex, TicksConvertWithoutOverflow) {
  // Ten days of ticks overflow a 64-bit product with 10^6 at any fast counter.
  Mutex m(QV_MUTEX_STATS);  // makes sure the frequency is set
  int64_t frequency = qv::sync::CQVCoreMutexChecked::TickFrequency();
  ASSERT_GE(frequency, 1000000000LL);
  int64_t tenDays = 10LL * 24 * 3600;
  EXPECT_EQ(qv::sync::TicksToMicroseconds(tenDays * frequency), tenDays * 1000000);
}

TEST(Mutex, BadHandlesAreRefused) {
  for (QVMUTEX h : {static_cast<QVMUTEX>(nullptr), reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)}) {
    for (QVRESULT r : {QVMutexAcquire(h), QVMutexTryAcquire(h), QVMutexRelease(h)}) EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVMutexDestroy(h), 0);
    EXPECT_EQ(QVMutexAssertOwnership(h, 1), 0);
    EXPECT_EQ(QVMutexGetOSMutex(h), nullptr);
  }
}

TEST(Mutex, CountersStayExactUnderContention) {
  for (uint32_t flags : {0u, QV_MUTEX_SPIN, QV_MUTEX_CHECKED, QV_MUTEX_STATS | QV_MUTEX_CHECKED}) {
    Mutex m(flags);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < 20000; ++i) {
          ASSERT_EQ(QVMutexAcquire(m.get()), 0);
          ++counter;
          ASSERT_EQ(QVMutexRelease(m.get()), 0);
        }
      });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000) << std::hex << flags;
    if (flags & QV_MUTEX_STATS) {
      QVLockStats s;
      qv::sync::CQVMutex::FromHandle(m.get())->GetLockStats(&s);
      EXPECT_EQ(s.acquireCount, 80000);
      EXPECT_EQ(s.heldCount, 80000);
    }
  }
}

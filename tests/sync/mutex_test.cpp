#include "sync/mutex.h"
#include "sync/sync_test.h"

namespace {
struct Mutex {
  QVMUTEX h = nullptr;
  explicit Mutex(uint32_t flags, const char* name = "test") { EXPECT_EQ(QVMutexCreate(name, flags, &h), 0); }
  ~Mutex() { QVMutexDestroy(h); }
};

template <class Fn>
auto OnOtherThread(Fn fn) {
  decltype(fn()) result{};
  std::thread([&] { result = fn(); }).join();
  return result;
}
}  // namespace

TEST(Mutex, PlainIsRecursiveExcludesOtherThreadsAndKeepsNameAndFlags) {
  Mutex m(0);
  ASSERT_EQ(QVMutexAcquire(m.h), 0);
  ASSERT_EQ(QVMutexAcquire(m.h), 0);
  EXPECT_EQ(QVMutexRelease(m.h), 0);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexTryAcquire(m.h); }), QV_E_FAIL);  // still held once
  EXPECT_EQ(QVMutexRelease(m.h), 0);
  EXPECT_EQ(QVMutexAssertOwnership(m.h, 1), 1);  // plain mutexes know no owner
  EXPECT_EQ(QVMutexAssertOwnership(m.h, 0), 1);
  QVLockStats stats{1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(qv::sync::CQVMutex::FromHandle(m.h)->GetLockStats(&stats), QV_E_NOTIMPL);
  EXPECT_EQ(stats.maxAcquireTime, 1);  // untouched
  struct Row {
    const char* name;
    uint32_t flags, kept;
    const char* keptName;
  };
  for (Row r : {Row{nullptr, 0x1234, 0x1234, ""}, Row{"n", QV_MUTEX_NOSTATS | QV_MUTEX_STATS, QV_MUTEX_NOSTATS, "n"}}) {
    Mutex x(r.flags, r.name);
    auto* obj = qv::sync::CQVMutex::FromHandle(x.h);
    EXPECT_EQ(obj->GetName(), r.keptName);
    EXPECT_EQ(obj->GetFlags(), r.kept);  // unknown bits are kept, no-stats wins
    EXPECT_EQ(obj->IsStatsExcluded(), 1);
    EXPECT_TRUE(obj->IsPlain());
  }
  for (QVMUTEX h : {static_cast<QVMUTEX>(nullptr), reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)}) {
    for (QVRESULT r : {QVMutexAcquire(h), QVMutexTryAcquire(h), QVMutexRelease(h)}) EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVMutexDestroy(h), 0);
    EXPECT_EQ(QVMutexAssertOwnership(h, 1), 0);
    EXPECT_EQ(QVMutexGetOSMutex(h), nullptr);
  }
}

TEST(Mutex, CheckedRefusesTheOwnerAgainAndForeignOrUnheldReleases) {
  qvtest::ScopedAlertMethod alerts(QV_ALERT_FORMAT);
  const std::string acquireFail = "QVCore Critical Error: CQVCoreMutexChecked::preAcquire m_owner check failed\n",
                    releaseFail = "QVCore Critical Error: CQVCoreMutexChecked::preRelease m_owner check failed\n";
  Mutex m(QV_MUTEX_CHECKED | QV_MUTEX_NONRECURSIVE), r(QV_MUTEX_CHECKED);
  qvtest::StderrCapture capture;
  ASSERT_EQ(QVMutexAcquire(m.h), 0);
  EXPECT_EQ(QVMutexAcquire(m.h), QV_E_FAIL);  // does not block
  EXPECT_EQ(QVMutexTryAcquire(m.h), QV_E_FAIL);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexTryAcquire(m.h); }), QV_E_FAIL);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexRelease(m.h); }), QV_E_FAIL);
  EXPECT_EQ(QVMutexAssertOwnership(m.h, 1), 1);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexAssertOwnership(m.h, 1); }), 0);
  EXPECT_EQ(OnOtherThread([&] { return QVMutexAssertOwnership(m.h, 0); }), 1);
  EXPECT_EQ(QVMutexRelease(m.h), 0);
  EXPECT_EQ(QVMutexRelease(m.h), QV_E_FAIL);  // unheld
  for (int i = 0; i < 3; ++i) ASSERT_EQ(QVMutexAcquire(r.h), 0);  // recursive: the depth is counted
  for (int i = 0; i < 3; ++i) EXPECT_EQ(QVMutexRelease(r.h), 0);
  EXPECT_EQ(QVMutexRelease(r.h), QV_E_FAIL);
  EXPECT_EQ(capture.Finish(), acquireFail + acquireFail + releaseFail + releaseFail + releaseFail);
  EXPECT_EQ(OnOtherThread([&] {  // the failed checks changed nothing
              QVRESULT result = QVMutexTryAcquire(m.h);
              return result == 0 ? QVMutexRelease(m.h) : result;
            }),
            0);
  QVErrorAlertSetMethod(0);
  qvtest::StderrCapture silent;
  EXPECT_EQ(QVMutexRelease(r.h), QV_E_FAIL);
  EXPECT_EQ(silent.Finish(), "");  // alerts are off by default
}

TEST(Mutex, TicksConvertWithoutOverflow) {
  // Ten days of ticks overflow a 64-bit product with 10^6 at any fast counter.
  Mutex m(QV_MUTEX_STATS);  // makes sure the frequency is set
  int64_t frequency = qv::sync::CQVCoreMutexChecked::TickFrequency(), tenDays = 10LL * 24 * 3600;
  ASSERT_GE(frequency, 1000000000LL);
  EXPECT_EQ(qv::sync::TicksToMicroseconds(tenDays * frequency), tenDays * 1000000);
}

TEST(Mutex, CountersStayExactUnderContention) {
  for (uint32_t flags : {0u, QV_MUTEX_SPIN, QV_MUTEX_CHECKED, QV_MUTEX_STATS | QV_MUTEX_CHECKED}) {
    Mutex m(flags);
    long counter = 0;
    qvtest::OnThreads(4, [&] {
      for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(QVMutexAcquire(m.h), 0);
        ++counter;
        ASSERT_EQ(QVMutexRelease(m.h), 0);
      }
    });
    EXPECT_EQ(counter, 80000) << std::hex << flags;
    QVLockStats s{};
    if (flags & QV_MUTEX_STATS) {
      EXPECT_EQ(QVGetLockStats(m.h, &s), 0);
      EXPECT_EQ(s.acquireCount * 100000 + s.heldCount, 80000 * 100001LL);  // both exact
    }
  }
}

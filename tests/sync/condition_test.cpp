#include "sync/condition.h"
#include "sync/sync_test.h"

using qvtest::WaitUntil;

namespace {
struct Condition {
  QVCONDITION h = nullptr;
  explicit Condition(const char* name = "test", uint32_t flags = 0) { EXPECT_EQ(QVConditionCreate(name, flags, &h), 0); }
  ~Condition() { QVConditionDestroy(h); }
};

// Another thread that takes the monitor's lock once and leaves it.
struct LockProbe {
  std::atomic<bool> got{false};
  std::thread thread;
  explicit LockProbe(QVCONDITION c) : thread([this, c] { QVConditionAcquire(c), got = true, QVConditionRelease(c); }) {}
  ~LockProbe() { thread.join(); }
  bool GotWithin(std::chrono::milliseconds time) const { return WaitUntil([&] { return got.load(); }, time); }
};
}  // namespace

TEST(Condition, SignalWakesOneWaiterAndBroadcastWakesAll) {
  Condition c;
  int registered = 0, items = 0;  // under the lock
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      QVConditionAcquire(c.h);
      ++registered;
      QVRESULT r = 0;  // a lost wake-up fails as a time-out
      while (items == 0 && r == 0) r = QVConditionTimedWait(c.h, 10000);
      EXPECT_EQ(r, 0);
      if (items > 0) --items, ++woken;
      QVConditionRelease(c.h);
    });
  // A waiter registers under the lock and gives it up only inside its wait;
  // this returns holding the lock once all three wait.
  ASSERT_TRUE(WaitUntil([&] { return QVConditionAcquire(c.h), registered == 3 || QVConditionRelease(c.h); }));
  ++items;
  EXPECT_EQ(QVConditionSignal(c.h), 0);
  QVConditionRelease(c.h);
  EXPECT_TRUE(WaitUntil([&] { return woken == 1; }));
  QVConditionAcquire(c.h), items += 2;
  EXPECT_EQ(QVConditionBroadcast(c.h), 0);
  QVConditionRelease(c.h);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
}

TEST(Condition, TimedWaitTimesOutWithTheLockHeldAgainAndZeroAnswersAtOnce) {
  Condition c;
  QVConditionSignal(c.h), QVConditionBroadcast(c.h);  // without a waiter: lost
  ASSERT_EQ(QVConditionAcquire(c.h), 0);
  for (uint32_t ms : {0, 50}) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QVConditionTimedWait(c.h, ms), QV_E_TIMEOUT);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(elapsed >= std::chrono::milliseconds(ms) && (ms > 0 || elapsed < 50ms)) << ms;
  }
  LockProbe probe(c.h);
  EXPECT_FALSE(probe.GotWithin(50ms));
  EXPECT_EQ(QVConditionRelease(c.h), 0);
  EXPECT_TRUE(probe.GotWithin(5000ms));
}

TEST(Condition, AWaitAtDepthThreeGivesUpEveryLevelAndRestoresThem) {
  Condition c;
  bool ready = false;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(QVConditionAcquire(c.h), 0);
  std::thread other([&] {
    QVConditionAcquire(c.h);  // only possible while the waiter has let go of all three levels
    ready = true;
    QVConditionSignal(c.h);
    QVConditionRelease(c.h);
  });
  QVRESULT r = 0;
  while (!ready && r == 0) r = QVConditionTimedWait(c.h, 10000);
  EXPECT_EQ(r, 0);
  other.join();
  LockProbe probe(c.h);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(QVConditionRelease(c.h), 0);
  EXPECT_FALSE(probe.GotWithin(30ms));  // the depth came back whole
  EXPECT_EQ(QVConditionRelease(c.h), 0);
  EXPECT_TRUE(probe.GotWithin(5000ms));
  EXPECT_EQ(QVConditionRelease(c.h), QV_E_FAIL);
}

TEST(Condition, ThreadsThatDoNotHoldTheLockCannotReleaseOrWait) {
  Condition c;
  EXPECT_EQ(QVConditionRelease(c.h), QV_E_FAIL);
  EXPECT_EQ(QVConditionWait(c.h), QV_E_FAIL);
  EXPECT_EQ(QVConditionTimedWait(c.h, 0), QV_E_FAIL);
  QVConditionAcquire(c.h);
  QVRESULT release = 0, wait = 0;
  std::thread([&] { release = QVConditionRelease(c.h), wait = QVConditionTimedWait(c.h, 10); }).join();
  EXPECT_EQ(release, QV_E_FAIL);
  EXPECT_EQ(wait, QV_E_FAIL);
  EXPECT_EQ(QVConditionRelease(c.h), 0);  // still the holder, once
  EXPECT_EQ(QVConditionRelease(c.h), QV_E_FAIL);
}

TEST(Condition, BadInputGetsItsExactResult) {
  EXPECT_EQ(QVConditionCreate("x", 0, nullptr), QV_E_INVALIDARG);
  Condition unnamed(nullptr, 7);
  auto* obj = qv::sync::CQVCondition::FromHandle(unnamed.h);
  EXPECT_TRUE(obj->Name().empty() && obj->Flags() == 7u);
  for (auto h : {static_cast<QVCONDITION>(nullptr), static_cast<QVCONDITION>(QV_INVALID_HANDLE)}) {
    for (QVRESULT r : {QVConditionAcquire(h), QVConditionRelease(h), QVConditionSignal(h), QVConditionBroadcast(h),
                       QVConditionWait(h), QVConditionTimedWait(h, 0)})
      EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVConditionDestroy(h), 0);
  }
}

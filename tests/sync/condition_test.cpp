#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/condition.h"

using namespace std::chrono_literals;
using qvtest::WaitUntil;

namespace {

class Condition {
 public:
  explicit Condition(const char* name = "test", uint32_t flags = 0) {
    EXPECT_EQ(QVConditionCreate(name, flags, &m_handle), 0);
  }
  ~Condition() { QVConditionDestroy(m_handle); }
  QVCONDITION get() const { return m_handle; }

  // Waits until `count` threads have registered under the lock and gone into
  // their wait: a waiter sets its mark while holding the lock and gives the
  // lock up only inside the wait, so seeing the mark under the lock means
  // the waiter waits.
  bool AwaitWaiters(const int& registered, int count) {
    return WaitUntil([&] {
      QVConditionAcquire(m_handle);
      bool all = registered == count;
      QVConditionRelease(m_handle);
      return all;
    });
  }

 private:
  QVCONDITION m_handle;
};

// Another thread that takes the monitor's lock once and leaves it.
class LockProbe {
 public:
  explicit LockProbe(QVCONDITION c)
      : m_thread([this, c] {
          QVConditionAcquire(c);
          m_got = true;
          QVConditionRelease(c);
        }) {}
  ~LockProbe() { m_thread.join(); }
  bool GotWithin(std::chrono::milliseconds time) const { return WaitUntil([&] { return m_got.load(); }, time); }

 private:
  std::atomic<bool> m_got{false};
  std::thread m_thread;
};

}  // namespace

// Waiters wait with a time limit: a lost wake-up fails the test as a time-out.
TEST(Condition, SignalWakesOneWaiterAndBroadcastWakesAll) {
  Condition c;
  int registered = 0, items = 0;
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      QVConditionAcquire(c.get());
      ++registered;
      QVRESULT r = 0;
      while (items == 0 && r == 0) r = QVConditionTimedWait(c.get(), 10000);
      EXPECT_EQ(r, 0);
      if (items > 0) --items, ++woken;
      QVConditionRelease(c.get());
    });
  ASSERT_TRUE(c.AwaitWaiters(registered, 3));
  QVConditionAcquire(c.get());
  ++items;
  EXPECT_EQ(QVConditionSignal(c.get()), 0);
  QVConditionRelease(c.get());
  EXPECT_TRUE(WaitUntil([&] { return woken == 1; }));
  QVConditionAcquire(c.get());
  items += 2;
  EXPECT_EQ(QVConditionBroadcast(c.get()), 0);
  QVConditionRelease(c.get());
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
}

TEST(Condition, TimedWaitTimesOutWithTheLockHeldAgainAndZeroAnswersAtOnce) {
  Condition c;
  QVConditionSignal(c.get());  // without a waiter: lost
  QVConditionBroadcast(c.get());
  ASSERT_EQ(QVConditionAcquire(c.get()), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QVConditionTimedWait(c.get(), 0), QV_E_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(QVConditionTimedWait(c.get(), 50), QV_E_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  {
    LockProbe probe(c.get());
    EXPECT_FALSE(probe.GotWithin(50ms));
    EXPECT_EQ(QVConditionRelease(c.get()), 0);
    EXPECT_TRUE(probe.GotWithin(5000ms));
  }
  EXPECT_EQ(QVConditionRelease(c.get()), QV_E_FAIL);
}

TEST(Condition, AWaitAtDepthThreeGivesUpEveryLevelAndRestoresThem) {
  Condition c;
  bool ready = false;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(QVConditionAcquire(c.get()), 0);
  std::thread other([&] {
    QVConditionAcquire(c.get());  // only possible while the waiter has let go of all three levels
    ready = true;
    QVConditionSignal(c.get());
    QVConditionRelease(c.get());
  });
  QVRESULT r = 0;
  while (!ready && r == 0) r = QVConditionTimedWait(c.get(), 10000);
  EXPECT_EQ(r, 0);
  other.join();
  LockProbe probe(c.get());
  for (int i = 0; i < 2; ++i) EXPECT_EQ(QVConditionRelease(c.get()), 0);
  EXPECT_FALSE(probe.GotWithin(30ms));  // the depth came back whole
  EXPECT_EQ(QVConditionRelease(c.get()), 0);
  EXPECT_TRUE(probe.GotWithin(5000ms));
  EXPECT_EQ(QVConditionRelease(c.get()), QV_E_FAIL);
}

TEST(Condition, ThreadsThatDoNotHoldTheLockCannotReleaseOrWait) {
  Condition c;
  EXPECT_EQ(QVConditionRelease(c.get()), QV_E_FAIL);
  EXPECT_EQ(QVConditionWait(c.get()), QV_E_FAIL);
  EXPECT_EQ(QVConditionTimedWait(c.get(), 0), QV_E_FAIL);
  QVConditionAcquire(c.get());
  QVRESULT release = 0, wait = 0;
  std::thread([&] {
    release = QVConditionRelease(c.get());
    wait = QVConditionTimedWait(c.get(), 10);
  }).join();
  EXPECT_EQ(release, QV_E_FAIL);
  EXPECT_EQ(wait, QV_E_FAIL);
  EXPECT_EQ(QVConditionRelease(c.get()), 0);  // still the holder, once
  EXPECT_EQ(QVConditionRelease(c.get()), QV_E_FAIL);
}

TEST(Condition, BadInputGetsAClearResult) {
  EXPECT_EQ(QVConditionCreate("x", 0, nullptr), QV_E_INVALIDARG);
  Condition unnamed(nullptr, 7);
  EXPECT_EQ(qv::sync::CQVCondition::FromHandle(unnamed.get())->Name(), "");
  EXPECT_EQ(qv::sync::CQVCondition::FromHandle(unnamed.get())->Flags(), 7u);
  for (auto h : {static_cast<QVCONDITION>(nullptr), static_cast<QVCONDITION>(QV_INVALID_HANDLE)}) {
    for (QVRESULT r : {QVConditionAcquire(h), QVConditionRelease(h), QVConditionSignal(h), QVConditionBroadcast(h),
                       QVConditionWait(h), QVConditionTimedWait(h, 0)})
      EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVConditionDestroy(h), 0);
  }
}

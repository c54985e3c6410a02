#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "sync/condition.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class Condition {
 public:
  explicit Condition(const char* name = "test", uint32_t flags = 0) {
    EXPECT_EQ(QVConditionCreate(name, flags, &m_handle), 0);
  }
  ~Condition() { QVConditionDestroy(m_handle); }
  QVCONDITION get() const { return m_handle; }

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
  bool GotWithin(std::chrono::milliseconds time) const {
    for (auto end = Clock::now() + time; Clock::now() < end && !m_got;) std::this_thread::sleep_for(1ms);
    return m_got;
  }

 private:
  std::atomic<bool> m_got{false};
  std::thread m_thread;
};

}  // namespace

TEST(Condition, SignalWakesAWaiterThatTestsItsPredicate) {
  Condition c;
  int items = 0;
  std::thread consumer([&] {
    QVConditionAcquire(c.get());
    while (items == 0) EXPECT_EQ(QVConditionWait(c.get()), 0);
    --items;
    QVConditionRelease(c.get());
  });
  std::this_thread::sleep_for(20ms);
  QVConditionAcquire(c.get());
  ++items;
  EXPECT_EQ(QVConditionSignal(c.get()), 0);
  QVConditionRelease(c.get());
  consumer.join();
  EXPECT_EQ(items, 0);
}

TEST(Condition, BroadcastWakesEveryWaiter) {
  Condition c;
  bool go = false;
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      QVConditionAcquire(c.get());
      while (!go) EXPECT_EQ(QVConditionTimedWait(c.get(), QV_INFINITE), 0);
      ++woken;
      QVConditionRelease(c.get());
    });
  std::this_thread::sleep_for(20ms);
  QVConditionAcquire(c.get());
  go = true;
  EXPECT_EQ(QVConditionBroadcast(c.get()), 0);
  QVConditionRelease(c.get());
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
}

TEST(Condition, TimedWaitTimesOutWithTheLockHeldAgain) {
  Condition c;
  ASSERT_EQ(QVConditionAcquire(c.get()), 0);
  auto start = Clock::now();
  EXPECT_EQ(QVConditionTimedWait(c.get(), 50), QV_E_TIMEOUT);
  EXPECT_GE(Clock::now() - start, 50ms);
  {
    LockProbe probe(c.get());
    EXPECT_FALSE(probe.GotWithin(50ms));
    EXPECT_EQ(QVConditionRelease(c.get()), 0);
    EXPECT_TRUE(probe.GotWithin(5000ms));
  }
  EXPECT_EQ(QVConditionRelease(c.get()), QV_E_FAIL);
}

TEST(Condition, TimedWaitOfZeroAnswersAtOnceAndASignalWithoutWaiterIsLost) {
  Condition c;
  QVConditionSignal(c.get());
  QVConditionBroadcast(c.get());
  QVConditionAcquire(c.get());
  auto start = Clock::now();
  EXPECT_EQ(QVConditionTimedWait(c.get(), 0), QV_E_TIMEOUT);
  EXPECT_LT(Clock::now() - start, 50ms);
  EXPECT_EQ(QVConditionTimedWait(c.get(), 20), QV_E_TIMEOUT);
  EXPECT_EQ(QVConditionRelease(c.get()), 0);
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
  while (!ready) EXPECT_EQ(QVConditionTimedWait(c.get(), 10000), 0);
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
  auto invalid = static_cast<QVCONDITION>(QV_INVALID_HANDLE);
  for (QVCONDITION h : {static_cast<QVCONDITION>(nullptr), invalid}) {
    EXPECT_EQ(QVConditionAcquire(h), QV_E_HANDLE);
    EXPECT_EQ(QVConditionRelease(h), QV_E_HANDLE);
    EXPECT_EQ(QVConditionSignal(h), QV_E_HANDLE);
    EXPECT_EQ(QVConditionBroadcast(h), QV_E_HANDLE);
    EXPECT_EQ(QVConditionWait(h), QV_E_HANDLE);
    EXPECT_EQ(QVConditionTimedWait(h, 0), QV_E_HANDLE);
    EXPECT_EQ(QVConditionDestroy(h), 0);
  }
}

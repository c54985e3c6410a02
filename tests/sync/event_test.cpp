#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/event.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class Signal {
 public:
  explicit Signal(bool gate, uint32_t flags = 0, const char* name = "test") {
    EXPECT_EQ(gate ? QVGateCreate(name, flags, &m_handle) : QVEventCreate(name, flags, &m_handle), 0);
  }
  ~Signal() { QVEventDestroy(m_handle); }
  QVEVENT get() const { return m_handle; }
  qv::sync::CQVEvent* obj() const { return qv::sync::CQVEvent::FromHandle(m_handle); }
  // Waits until n threads are blocked inside a wait.
  bool AwaitWaiters(uint32_t n) const {
    return qvtest::WaitUntil([&] { return obj()->WaiterCount() == n; });
  }

 private:
  QVEVENT m_handle;
};

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

TEST(Gate, OpenReleasesEveryWaiterAndEveryLaterOneUntilClosed) {
  Signal gate(true, 0xF0, "g");  // flags are kept and ignored
  EXPECT_TRUE(gate.obj()->IsManualReset());
  EXPECT_EQ(gate.obj()->Flags(), 0xF0u);
  EXPECT_EQ(gate.obj()->Name(), "g");
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (QVGateWait(gate.get()) == 0) ++passed;
    });
  EXPECT_TRUE(gate.AwaitWaiters(3));
  EXPECT_EQ(passed.load(), 0);
  EXPECT_EQ(QVGateOpen(gate.get()), 0);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(passed.load(), 3);
  // Still open: later waiters pass, and looking does not close it.
  EXPECT_EQ(QVGateTimedWait(gate.get(), 0), 0);
  EXPECT_EQ(QVGateTryWait(gate.get()), 0);
  EXPECT_EQ(QVGateTryWait(gate.get()), 0);
  EXPECT_EQ(QVGateClose(gate.get()), 0);
  EXPECT_EQ(QVGateTryWait(gate.get()), QV_E_FAIL);  // closed is not a time-out
  EXPECT_EQ(QVGateTimedWait(gate.get(), 0), QV_E_TIMEOUT);
}

TEST(Gate, OpenFollowedAtOnceByCloseStillReleasesThoseWaiting) {
  Signal gate(true);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (QVGateTimedWait(gate.get(), 10000) == 0) ++passed;
    });
  EXPECT_TRUE(gate.AwaitWaiters(2));
  QVGateOpen(gate.get());
  QVGateClose(gate.get());
  for (auto& t : waiters) t.join();
  EXPECT_EQ(passed.load(), 2);
  EXPECT_EQ(QVGateTryWait(gate.get()), QV_E_FAIL);
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSignal) {
  Signal event(false);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (QVEventTimedWait(event.get(), 10000) == 0) ++passed;
    });
  EXPECT_TRUE(event.AwaitWaiters(2));
  EXPECT_EQ(QVEventSignal(event.get()), 0);
  EXPECT_TRUE(event.AwaitWaiters(1));
  EXPECT_TRUE(qvtest::WaitUntil([&] { return passed == 1; }));
  EXPECT_FALSE(qvtest::WaitUntil([&] { return passed > 1; }, 50ms));  // the second stays
  EXPECT_EQ(event.obj()->WaiterCount(), 1u);
  QVEventSignal(event.get());
  for (auto& t : waiters) t.join();
  EXPECT_EQ(passed.load(), 2);
  EXPECT_EQ(QVEventTimedWait(event.get(), 0), QV_E_TIMEOUT);  // both signals were taken

  // Two signals given at once while two threads wait release both.
  waiters.clear();
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (QVEventTimedWait(event.get(), QV_INFINITE) == 0) ++passed;
    });
  EXPECT_TRUE(event.AwaitWaiters(2));
  QVEventSignal(event.get());
  QVEventSignal(event.get());
  for (auto& t : waiters) t.join();
  EXPECT_EQ(passed.load(), 4);
}

TEST(Event, ASignalWithNoWaiterIsKeptForTheNextOne) {
  Signal event(false);
  QVEventSignal(event.get());
  QVEventSignal(event.get());  // binary: still one signal
  EXPECT_EQ(QVEventWait(event.get()), 0);
  EXPECT_EQ(QVEventTimedWait(event.get(), 0), QV_E_TIMEOUT);
  QVEventSignal(event.get());
  EXPECT_EQ(QVGateTryWait(event.get()), 0);  // consumes it
  EXPECT_EQ(QVGateTryWait(event.get()), QV_E_FAIL);
  QVEventSignal(event.get());
  EXPECT_EQ(QVEventReset(event.get()), 0);
  EXPECT_EQ(QVEventTimedWait(event.get(), 0), QV_E_TIMEOUT);
}

TEST(Event, WaitWithoutLimitIsWokenByAnotherThread) {
  Signal event(false);
  std::thread t([&] { EXPECT_EQ(QVEventWait(event.get()), 0); });
  EXPECT_TRUE(event.AwaitWaiters(1));
  QVEventSignal(event.get());
  t.join();
}

TEST(Event, ManualResetFlagMakesItAGate) {
  Signal event(false, QV_EVENT_MANUAL_RESET);
  EXPECT_TRUE(event.obj()->IsManualReset());
  QVEventSignal(event.get());
  EXPECT_EQ(QVEventWait(event.get()), 0);
  EXPECT_EQ(QVEventTimedWait(event.get(), 0), 0);
  EXPECT_FALSE(Signal(false, 0x1).obj()->IsManualReset());
}

TEST(Event, TimedWaitsLastTheirTimeAndZeroAnswersAtOnce) {
  Signal event(false), gate(true);
  auto start = Clock::now();
  EXPECT_EQ(QVEventTimedWait(event.get(), 0), QV_E_TIMEOUT);
  EXPECT_EQ(QVGateTimedWait(gate.get(), 0), QV_E_TIMEOUT);
  EXPECT_LT(MsSince(start), 50);
  start = Clock::now();
  EXPECT_EQ(QVEventTimedWait(event.get(), 60), QV_E_TIMEOUT);
  long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 60);
  EXPECT_LT(elapsed, 2000);
  start = Clock::now();
  EXPECT_EQ(QVGateTimedWait(gate.get(), 30), QV_E_TIMEOUT);
  EXPECT_GE(MsSince(start), 30);
}

TEST(Event, BadInputGetsAClearResult) {
  EXPECT_EQ(QVEventCreate("x", 0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVGateCreate("x", 0, nullptr), QV_E_INVALIDARG);
  QVEVENT created;
  ASSERT_EQ(QVEventCreate(nullptr, 0, &created), 0);  // null name is empty
  EXPECT_EQ(qv::sync::CQVEvent::FromHandle(created)->Name(), "");
  EXPECT_EQ(QVEventDestroy(created), 0);
  auto invalid = static_cast<QVEVENT>(QV_INVALID_HANDLE);
  for (QVEVENT h : {static_cast<QVEVENT>(nullptr), invalid}) {
    for (QVRESULT r : {QVEventSignal(h), QVGateOpen(h), QVEventReset(h), QVGateClose(h), QVEventWait(h), QVGateWait(h),
                       QVEventTimedWait(h, 0), QVGateTimedWait(h, QV_INFINITE), QVGateTryWait(h)})
      EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVEventDestroy(h), 0);
    EXPECT_EQ(QVGateDestroy(h), 0);
  }
}

#include "sync/event.h"
#include "sync/sync_test.h"

namespace {
struct Signal {
  QVEVENT h = nullptr;
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  explicit Signal(bool gate, uint32_t flags = 0, const char* name = "test") {
    EXPECT_EQ(gate ? QVGateCreate(name, flags, &h) : QVEventCreate(name, flags, &h), 0);
  }
  ~Signal() { Join(), QVEventDestroy(h); }
  qv::sync::CQVEvent* obj() const { return qv::sync::CQVEvent::FromHandle(h); }
  // Starts `n` threads that each wait with `wait` and count their passes; true once all unjoined ones wait.
  bool StartWaiters(int n, QVRESULT (*wait)(QVEVENT)) {
    for (int i = 0; i < n; ++i) waiters.emplace_back([this, wait] { passed += wait(h) == 0; });
    return AwaitWaiters(static_cast<uint32_t>(waiters.size()));
  }
  bool AwaitWaiters(uint32_t n) const {
    return qvtest::WaitUntil([&] { return obj()->WaiterCount() == n; });
  }
  int Join() {
    for (auto& t : waiters) t.join();
    waiters.clear();
    return passed;
  }
};
QVRESULT LongTimedWait(QVEVENT h) { return QVEventTimedWait(h, 10000); }
QVRESULT EndlessTimedWait(QVEVENT h) { return QVGateTimedWait(h, QV_INFINITE); }
}  // namespace

TEST(Gate, OpenReleasesEveryWaiterAndEveryLaterOneUntilClosed) {
  Signal gate(true, 0xF0, "g");  // flags are kept and ignored
  EXPECT_TRUE(gate.obj()->IsManualReset());
  EXPECT_EQ(gate.obj()->Flags(), 0xF0u);
  EXPECT_EQ(gate.obj()->Name(), "g");
  EXPECT_TRUE(gate.StartWaiters(3, QVGateWait));
  EXPECT_EQ(gate.passed.load(), 0);
  EXPECT_EQ(QVGateOpen(gate.h), 0);
  EXPECT_EQ(gate.Join(), 3);
  EXPECT_EQ(QVGateTimedWait(gate.h, 0), 0);  // still open, and looking does not close it
  EXPECT_EQ(QVGateTryWait(gate.h), 0);
  EXPECT_EQ(QVGateTryWait(gate.h), 0);
  EXPECT_EQ(QVGateClose(gate.h), 0);
  EXPECT_EQ(QVGateTryWait(gate.h), QV_E_FAIL);  // closed is not a time-out
  EXPECT_EQ(QVGateTimedWait(gate.h, 0), QV_E_TIMEOUT);
  EXPECT_TRUE(gate.StartWaiters(2, LongTimedWait));  // an open followed at once by a close releases those waiting
  QVGateOpen(gate.h), QVGateClose(gate.h);
  EXPECT_EQ(gate.Join(), 5);
  EXPECT_EQ(QVGateTryWait(gate.h), QV_E_FAIL);
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSignal) {
  Signal event(false);
  EXPECT_TRUE(event.StartWaiters(2, LongTimedWait));
  EXPECT_EQ(QVEventSignal(event.h), 0);
  EXPECT_TRUE(event.AwaitWaiters(1));
  EXPECT_TRUE(qvtest::WaitUntil([&] { return event.passed == 1; }));
  EXPECT_FALSE(qvtest::WaitUntil([&] { return event.passed > 1; }, 50ms));  // the second stays
  QVEventSignal(event.h);
  EXPECT_EQ(event.Join(), 2);
  EXPECT_EQ(QVEventTimedWait(event.h, 0), QV_E_TIMEOUT);  // both signals were taken
  EXPECT_TRUE(event.StartWaiters(1, QVEventWait));       // two signals at once while two wait release both
  EXPECT_TRUE(event.StartWaiters(1, EndlessTimedWait));
  QVEventSignal(event.h), QVEventSignal(event.h);
  EXPECT_EQ(event.Join(), 4);
}

TEST(Event, ASignalWithNoWaiterIsKeptForTheNextOne) {
  Signal event(false), manual(false, QV_EVENT_MANUAL_RESET);
  QVEventSignal(event.h), QVEventSignal(event.h);  // binary: still one signal
  EXPECT_EQ(QVEventWait(event.h), 0);
  EXPECT_EQ(QVEventTimedWait(event.h, 0), QV_E_TIMEOUT);
  QVEventSignal(event.h);
  EXPECT_EQ(QVGateTryWait(event.h), 0);  // consumes it
  EXPECT_EQ(QVGateTryWait(event.h), QV_E_FAIL);
  QVEventSignal(event.h);
  EXPECT_EQ(QVEventReset(event.h), 0);
  EXPECT_EQ(QVEventTimedWait(event.h, 0), QV_E_TIMEOUT);
  EXPECT_FALSE(event.obj()->IsManualReset());
  EXPECT_TRUE(manual.obj()->IsManualReset());  // the flag makes it a gate
  QVEventSignal(manual.h);
  EXPECT_EQ(QVEventWait(manual.h), 0);
  EXPECT_EQ(QVEventTimedWait(manual.h, 0), 0);
}

TEST(Event, TimedWaitsLastTheirTimeAndZeroAnswersAtOnce) {
  Signal event(false), gate(true);
  for (auto [h, ms] : {std::pair{event.h, 0}, {gate.h, 0}, {event.h, 60}, {gate.h, 30}}) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QVEventTimedWait(h, static_cast<uint32_t>(ms)), QV_E_TIMEOUT);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(ms));
    EXPECT_LT(elapsed, ms == 0 ? 50ms : 2000ms);
  }
}

TEST(Event, BadInputGetsItsExactResult) {
  EXPECT_EQ(QVEventCreate("x", 0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVGateCreate("x", 0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(Signal(false, 0, nullptr).obj()->Name(), "");  // null name is empty
  for (QVEVENT h : {static_cast<QVEVENT>(nullptr), static_cast<QVEVENT>(QV_INVALID_HANDLE)}) {
    for (QVRESULT r : {QVEventSignal(h), QVGateOpen(h), QVEventReset(h), QVGateClose(h), QVEventWait(h), QVGateWait(h),
                       QVEventTimedWait(h, 0), QVGateTimedWait(h, QV_INFINITE), QVGateTryWait(h)})
      EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVEventDestroy(h), 0);
    EXPECT_EQ(QVGateDestroy(h), 0);
  }
}

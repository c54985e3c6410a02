#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <random>

#include "os/os_thread.h"
#include "sync/event.h"
#include "sync/mutex.h"
#include "sync/rwlock.h"
#include "sync/sync_test.h"

using qv::sync::CQVRWLockImpl;

namespace {

// Everything was released: no reader is recorded and a writer gets in.
void ExpectFree(QVRWLOCK h) {
  EXPECT_TRUE(CQVRWLockImpl::FromHandle(h)->Readers().empty());
  EXPECT_EQ(CQVRWLockImpl::FromHandle(h)->OverflowCount(), 0u);
  EXPECT_EQ(QVRWLockTryAcquireWrite(h), 0);
  EXPECT_EQ(QVRWLockReleaseWrite(h), 0);
}

struct RWLock {
  QVRWLOCK h = nullptr;
  explicit RWLock(const char* name = "test") { EXPECT_EQ(QVRWLockCreate(name, 0, &h), 0); }
  ~RWLock() { QVRWLockDestroy(h); }
  CQVRWLockImpl* impl() const { return CQVRWLockImpl::FromHandle(h); }
};

// A thread that runs the calls it is given, in order, so that it can hold a lock across steps.
class Worker {
 public:
  ~Worker() { Post({}), m_thread.join(); }  // an empty task ends the thread
  std::future<QVRESULT> Start(std::function<QVRESULT()> call) { return Post(std::packaged_task<QVRESULT()>(call)); }

 private:
  std::future<QVRESULT> Post(std::packaged_task<QVRESULT()> task) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_tasks.push_back(std::move(task));
    m_cv.notify_one();
    return m_tasks.back().valid() ? m_tasks.back().get_future() : std::future<QVRESULT>();
  }
  void Run() {
    for (std::packaged_task<QVRESULT()> task;; task()) {
      std::unique_lock<std::mutex> g(m_mutex);
      m_cv.wait(g, [this] { return !m_tasks.empty(); });
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
      if (!task.valid()) return;
    }
  }
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::packaged_task<QVRESULT()>> m_tasks;
  std::thread m_thread{[this] { Run(); }};  // last: starts once the members it uses exist
};

constexpr QVRESULT kBlocks = 0x7FFFFFFE, kHung = 0x7FFFFFFF;
QVRESULT Finish(std::future<QVRESULT>& f, std::chrono::milliseconds limit) {
  return f.wait_for(limit) == std::future_status::ready ? f.get() : kHung;
}

// Read, Write, TryRead, TryWrite, release Read, release Write; Done: the worker's blocked call returns `want`;
// Still: it still blocks; Holds: the lock records `want` reads of the worker; Gate: the writer gate's try-wait.
enum Op { R, W, TR, TW, UR, UW, Done, Still, Holds, Gate };
struct Step {
  int worker;
  Op op;
  QVRESULT want;  // kBlocks: the call must not return yet
};
struct Scenario {
  const char* name;
  std::vector<Step> steps;
};
constexpr QVRESULT F = QV_E_FAIL;

void Play(const Scenario& s) {
  SCOPED_TRACE(s.name);
  RWLock lock;
  const QVRWLOCK l = lock.h;
  Worker workers[4];
  std::future<QVRESULT> pending[4];
  std::function<QVRESULT()> calls[] = {
      [l] { return QVRWLockAcquireRead(l); },    [l] { return QVRWLockAcquireWrite(l); },
      [l] { return QVRWLockTryAcquireRead(l); }, [l] { return QVRWLockTryAcquireWrite(l); },
      [l] { return QVRWLockReleaseRead(l); },    [l] { return QVRWLockReleaseWrite(l); }};
  for (size_t i = 0; i < s.steps.size(); ++i) {
    const Step& st = s.steps[i];
    SCOPED_TRACE(i);
    if (st.op == Done) {
      EXPECT_EQ(Finish(pending[st.worker], 10s), st.want);
    } else if (st.op == Still) {
      EXPECT_EQ(pending[st.worker].wait_for(80ms), std::future_status::timeout);
    } else if (st.op == Holds) {
      auto id = workers[st.worker].Start([] { return static_cast<QVRESULT>(qv::os::CurrentThreadId()); });
      const uint32_t thread = static_cast<uint32_t>(Finish(id, 10s));
      QVRESULT holds = 0;
      for (const auto& e : lock.impl()->Readers()) holds += e.thread == thread ? static_cast<QVRESULT>(e.holds) : 0;
      EXPECT_EQ(holds, st.want);
    } else if (st.op == Gate) {
      EXPECT_EQ(qv::sync::CQVEvent::FromHandle(lock.impl()->GateHandle())->TryWait(), st.want);
    } else if (st.want == kBlocks) {
      pending[st.worker] = workers[st.worker].Start(calls[st.op]);
      EXPECT_EQ(pending[st.worker].wait_for(80ms), std::future_status::timeout);
    } else {
      auto f = workers[st.worker].Start(calls[st.op]);
      EXPECT_EQ(Finish(f, st.op == TR || st.op == TW ? 500ms : 10s), st.want);  // tries answer at once
    }
  }
  ExpectFree(lock.h);
}

}  // namespace

TEST(RWLock, Scenarios) {
  const Scenario scenarios[] = {
      {"a waiting writer stops new readers, not readers that re-read",
       {{0, R, 0}, {1, R, 0}, {2, W, kBlocks}, {3, R, kBlocks}, {0, R, 0}, {0, TR, 0}, {0, UR, 0}, {0, UR, 0},
        {0, UR, 0}, {2, Still, 0}, {1, UR, 0}, {2, Done, 0}, {3, Still, 0}, {2, UW, 0}, {3, Done, 0}, {3, UR, 0}}},
      {"the only reader upgrades at once; reads taken while writing outlive the write release",
       {{0, R, 0}, {0, W, 0}, {0, R, 0}, {1, TR, F}, {1, TW, F}, {0, UW, 0}, {0, UW, F}, {0, Holds, 2}, {1, TW, F},
        {1, R, 0}, {1, UR, 0}, {0, UR, 0}, {0, UR, 0}, {0, UR, F}}},
      {"a writer without earlier reads keeps the reads it took while writing",
       {{0, W, 0}, {0, R, 0}, {0, TR, 0}, {0, R, 0}, {0, UR, 0}, {0, UW, 0}, {0, Holds, 2}, {0, Gate, F}, {1, TW, F},
        {1, W, kBlocks}, {2, TR, F}, {0, R, 0}, {0, UR, 0}, {0, UR, 0}, {1, Still, 0}, {0, UR, 0}, {1, Done, 0},
        {0, UR, F}, {1, UW, 0}}},
      {"an upgraded reader that keeps its read holds off writers",
       {{0, R, 0}, {1, R, 0}, {0, W, kBlocks}, {1, UR, 0}, {0, Done, 0}, {0, UW, 0}, {2, TW, F}, {2, W, kBlocks},
        {0, UR, 0}, {2, Done, 0}, {2, UW, 0}}},
      {"a reader asking to write while another writer waits is refused instead of deadlocking",
       {{0, R, 0}, {1, R, 0}, {0, W, kBlocks}, {1, W, F}, {1, TW, F}, {1, UR, 0}, {0, Done, 0}, {0, UW, 0},
        {0, UR, 0}}},
      {"releases by threads that hold nothing are refused and change nothing",
       {{0, UR, F}, {0, UW, F}, {0, W, 0}, {0, R, 0}, {1, UR, F}, {1, UW, F}, {1, TR, F}, {0, UR, 0}, {0, UR, F},
        {0, UW, 0}, {0, R, 0}, {1, UW, F}, {0, UW, F}, {0, UR, 0}}},
      {"a refused try-write leaves no pending writer", {{0, R, 0}, {1, TW, F}, {2, R, 0}, {2, UR, 0}, {0, UR, 0}}},
      {"the write lock is recursive",
       {{0, W, 0}, {0, TW, 0}, {0, W, 0}, {0, UW, 0}, {1, TR, F}, {0, UW, 0}, {1, TR, F}, {0, UW, 0}, {0, UW, F},
        {1, TR, 0}, {1, UR, 0}}},
  };
  for (const Scenario& s : scenarios) Play(s);
}

TEST(RWLock, PartsAreNamedAfterTheLockAndBadInputGetsAClearResult) {
  RWLock lock("cache"), unnamed(nullptr);
  auto mutex = [](QVMUTEX m) { return qv::sync::CQVMutex::FromHandle(m); };
  EXPECT_EQ(mutex(lock.impl()->LockHandle())->GetName(), "cache::CQVRWLockImpl::m_lock");
  EXPECT_EQ(mutex(lock.impl()->ArrayLockHandle())->GetName(), "cache::CQVRWLockImpl::m_arrayLock");
  EXPECT_EQ(mutex(lock.impl()->LockHandle())->GetFlags(), 0u);
  EXPECT_EQ(mutex(unnamed.impl()->LockHandle())->GetName(), "::CQVRWLockImpl::m_lock");
  auto* gate = qv::sync::CQVEvent::FromHandle(lock.impl()->GateHandle());
  EXPECT_EQ(gate->Name(), "cache::CQVRWLockImpl::m_writerGate");
  EXPECT_TRUE(gate->IsManualReset());
  EXPECT_EQ(gate->TryWait(), QV_S_OK);  // open while nobody reads
  EXPECT_EQ(QVRWLockCreate("x", 0, nullptr), QV_E_INVALIDARG);
  for (QVRWLOCK h : {static_cast<QVRWLOCK>(nullptr), static_cast<QVRWLOCK>(QV_INVALID_HANDLE)}) {
    for (QVRESULT r : {QVRWLockAcquireRead(h), QVRWLockAcquireWrite(h), QVRWLockReleaseRead(h), QVRWLockReleaseWrite(h),
                       QVRWLockTryAcquireRead(h), QVRWLockTryAcquireWrite(h)})
      EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVRWLockDestroy(h), 0);
  }
}

// More reading threads than slots, each reading twice and holding until told: a writer waits for all of them, and
// in later waves the ended threads' slots are free again.
TEST(RWLock, ReadersBeyondTheSlotsShareReEnterHoldOffAWriterAndGiveTheirSlotsBack) {
  RWLock lock;
  const QVRWLOCK l = lock.h;
  const int n = static_cast<int>(CQVRWLockImpl::kSlots) + 6;
  for (int wave = 0; wave < 3; ++wave) {
    SCOPED_TRACE(wave);
    std::promise<void> letGo;
    std::shared_future<void> letGoSignal = letGo.get_future().share();
    std::vector<std::future<QVRESULT>> holding(n), results(n);
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
      std::promise<QVRESULT> held, done;
      holding[i] = held.get_future();
      results[i] = done.get_future();
      threads.emplace_back([l, letGoSignal, held = std::move(held), done = std::move(done)]() mutable {
        held.set_value(QVRWLockAcquireRead(l) | QVRWLockAcquireRead(l));
        const bool released = letGoSignal.wait_for(20s) == std::future_status::ready;
        QVRESULT r = QVRWLockReleaseRead(l) | QVRWLockReleaseRead(l);
        done.set_value(released && r == 0 ? QVRWLockReleaseRead(l) : kHung);
      });
    }
    for (auto& h : holding) EXPECT_EQ(Finish(h, 20s), 0);
    auto readers = lock.impl()->Readers();
    EXPECT_EQ(readers.size(), static_cast<size_t>(n));
    for (const auto& e : readers) EXPECT_EQ(e.holds, 2u);
    EXPECT_GE(lock.impl()->OverflowCount(), 6u);
    EXPECT_EQ(QVRWLockTryAcquireWrite(l), QV_E_FAIL);
    Worker writer;
    auto written = writer.Start([l] { return QVRWLockAcquireWrite(l); });
    EXPECT_EQ(written.wait_for(80ms), std::future_status::timeout);
    letGo.set_value();
    for (auto& r : results) EXPECT_EQ(Finish(r, 20s), QV_E_FAIL);  // the third release finds nothing
    for (auto& t : threads) t.join();
    EXPECT_EQ(Finish(written, 20s), 0);
    auto release = writer.Start([l] { return QVRWLockReleaseWrite(l); });
    EXPECT_EQ(Finish(release, 20s), 0);
  }
  std::thread([&] {
    EXPECT_EQ(QVRWLockAcquireRead(l), 0);
    EXPECT_EQ(lock.impl()->OverflowCount(), 0u);  // in a slot
    EXPECT_EQ(QVRWLockReleaseRead(l), 0);
  }).join();
  ExpectFree(lock.h);
}

namespace {

// An independent record of who is inside, checked against the lock's promise.
struct Inside {
  std::atomic<int> readers{0}, writers{0}, violations{0}, unexpected{0};
  void Read(int d) {
    if ((readers += d) > 0 && d > 0 && writers != 0) ++violations;
  }
  void Write(int d) {
    if (d > 0 && (writers++ != 0 || readers != 0)) ++violations;
    if (d < 0) --writers;
  }
  void Expect(QVRESULT got, QVRESULT want = 0) {
    if (got != want) ++unexpected;
  }
};

// Kinds: read, try-read, write, try-write, upgrade, try-upgrade; reads re-enter and writes recurse and take reads,
// some kept past the write release. Returns false for a refused try or upgrade.
bool Round(QVRWLOCK l, Inside& in, std::mt19937& rng, int kind, std::atomic<uint32_t>& maxOverflow) {
  const bool tryIt = kind % 2 != 0, upgrade = kind / 2 == 2;
  const int extra = static_cast<int>(rng() % 4);
  if (kind / 2 == 0) {
    QVRESULT r = tryIt ? QVRWLockTryAcquireRead(l) : QVRWLockAcquireRead(l);
    if (tryIt && r == QV_E_FAIL) return false;
    in.Expect(r);
    in.Read(1);
    const uint32_t overflow = CQVRWLockImpl::FromHandle(l)->OverflowCount();
    for (uint32_t seen = maxOverflow; overflow > seen && !maxOverflow.compare_exchange_weak(seen, overflow);) {
    }
    for (int i = 0; i < extra; ++i) in.Expect(QVRWLockAcquireRead(l));
    if (rng() % 4 == 0) std::this_thread::yield();
    in.Read(-1);
    for (int i = 0; i <= extra; ++i) in.Expect(QVRWLockReleaseRead(l));
    return true;
  }
  int reads = upgrade ? 1 : 0;
  if (upgrade) in.Expect(QVRWLockAcquireRead(l)), in.Read(1);
  QVRESULT r = tryIt ? QVRWLockTryAcquireWrite(l) : QVRWLockAcquireWrite(l);
  if (upgrade) in.Read(-1);
  if (r != 0) {
    in.Expect(r, tryIt || upgrade ? QV_E_FAIL : 0);
    if (upgrade) in.Expect(QVRWLockReleaseRead(l));
    return false;
  }
  in.Write(1);
  if (!upgrade && extra % 2 != 0) in.Expect(QVRWLockAcquireWrite(l)), in.Expect(QVRWLockReleaseWrite(l));
  const int keep = upgrade ? 0 : static_cast<int>(rng() % (extra + 1));
  for (int i = 0; i < extra && !upgrade; ++i) in.Expect(QVRWLockAcquireRead(l));
  for (int i = keep; i < extra && !upgrade; ++i) in.Expect(QVRWLockReleaseRead(l));  // released while still writing
  reads += keep;
  if (rng() % 4 == 0) std::this_thread::yield();
  in.Write(-1);
  in.Expect(QVRWLockReleaseWrite(l));
  if (reads > 0) in.Read(1), in.Read(-1);
  for (int i = 0; i < reads; ++i) in.Expect(QVRWLockReleaseRead(l));
  return true;
}

}  // namespace

// Slot readers, overflow readers (more threads than slots) and writers mix every kind of hold.
TEST(RWLockStress, NoReaderBesideAWriterNorTwoWritersWithSlotAndOverflowReaders) {
  RWLock lock("stress");
  Inside in;
  std::atomic<uint32_t> maxOverflow{0};
  std::atomic<long> done[6] = {};
  std::promise<void> finished;
  std::thread watchdog([f = finished.get_future()] {
    if (f.wait_for(60s) != std::future_status::ready) std::fprintf(stderr, "stress: deadlock\n"), std::abort();
  });
  // Two seconds at least, longer on a loaded machine until every kind of round
  // has succeeded once (an upgrade can keep losing), thirty at most.
  const auto start = std::chrono::steady_clock::now();
  auto goOn = [&] {
    auto now = std::chrono::steady_clock::now();
    if (now < start + 2s) return true;
    if (now >= start + 30s) return false;
    for (auto& d : done)
      if (d.load() == 0) return true;
    return false;
  };
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < CQVRWLockImpl::kSlots + 4; ++i)
    threads.emplace_back([&, i] {
      std::mt19937 rng(1234u + i);
      for (int kind; goOn();)
        if (Round(lock.h, in, rng, kind = static_cast<int>(rng() % 6), maxOverflow)) ++done[kind];
    });
  for (auto& t : threads) t.join();
  finished.set_value();
  watchdog.join();
  EXPECT_EQ(in.violations.load(), 0);
  EXPECT_EQ(in.unexpected.load(), 0);
  EXPECT_GT(maxOverflow.load(), 0u);
  for (int k = 0; k < 6; ++k) EXPECT_GT(done[k].load(), 0) << k;
  ExpectFree(lock.h);
}

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "os/os_thread.h"
#include "qvcore5/qvcore.h"
#include "sync/event.h"
#include "sync/mutex.h"
#include "sync/rwlock.h"

using namespace std::chrono_literals;
using qv::sync::CQVRWLockImpl;

namespace {

class RWLock {
 public:
  explicit RWLock(const char* name = "test") { EXPECT_EQ(QVRWLockCreate(name, 0, &m_handle), 0); }
  ~RWLock() { QVRWLockDestroy(m_handle); }
  QVRWLOCK get() const { return m_handle; }
  CQVRWLockImpl* impl() const { return CQVRWLockImpl::FromHandle(m_handle); }

 private:
  QVRWLOCK m_handle;
};

// A thread that runs the calls it is given, in order, so that a test can make
// it hold a lock across steps.
class Worker {
 public:
  Worker() : m_thread([this] { Run(); }) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> g(m_mutex);
      m_stop = true;
    }
    m_cv.notify_one();
    m_thread.join();
  }
  std::future<QVRESULT> Start(std::function<QVRESULT()> call) {
    std::packaged_task<QVRESULT()> task(std::move(call));
    auto result = task.get_future();
    {
      std::lock_guard<std::mutex> g(m_mutex);
      m_tasks.push_back(std::move(task));
    }
    m_cv.notify_one();
    return result;
  }
  QVRESULT Do(std::function<QVRESULT()> call) { return Start(std::move(call)).get(); }
  uint32_t Id() { return static_cast<uint32_t>(Do([] { return static_cast<QVRESULT>(qv::os::CurrentThreadId()); })); }

 private:
  void Run() {
    for (;;) {
      std::packaged_task<QVRESULT()> task;
      {
        std::unique_lock<std::mutex> g(m_mutex);
        m_cv.wait(g, [this] { return m_stop || !m_tasks.empty(); });
        if (m_tasks.empty()) return;
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
      }
      task();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::packaged_task<QVRESULT()>> m_tasks;
  bool m_stop = false;
  std::thread m_thread;
};

bool Blocked(std::future<QVRESULT>& f) { return f.wait_for(80ms) == std::future_status::timeout; }
QVRESULT Finish(std::future<QVRESULT>& f) {
  return f.wait_for(10s) == std::future_status::ready ? f.get() : QVRESULT{0x7FFFFFFF};
}

}  // namespace

TEST(RWLock, WaitingWriterStopsNewReadersButNotReadersThatReRead) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker a, b, c, d;
  ASSERT_EQ(a.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  ASSERT_EQ(b.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  auto write = c.Start([&] { return QVRWLockAcquireWrite(l); });
  EXPECT_TRUE(Blocked(write));
  auto newRead = d.Start([&] { return QVRWLockAcquireRead(l); });
  EXPECT_TRUE(Blocked(newRead));
  EXPECT_EQ(a.Do([&] { return QVRWLockAcquireRead(l); }), 0);  // at once
  EXPECT_EQ(a.Do([&] { return QVRWLockTryAcquireRead(l); }), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_TRUE(Blocked(write));  // b still reads
  EXPECT_EQ(b.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_EQ(Finish(write), 0);
  EXPECT_TRUE(Blocked(newRead));
  EXPECT_EQ(c.Do([&] { return QVRWLockReleaseWrite(l); }), 0);
  EXPECT_EQ(Finish(newRead), 0);
  EXPECT_EQ(d.Do([&] { return QVRWLockReleaseRead(l); }), 0);
}

TEST(RWLock, TheOnlyReaderUpgradesAtOnceAndStillReadsAfterwards) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker other;
  ASSERT_EQ(QVRWLockAcquireRead(l), 0);
  ASSERT_EQ(QVRWLockAcquireWrite(l), 0);
  EXPECT_EQ(other.Do([&] { return QVRWLockTryAcquireRead(l); }), QV_E_FAIL);
  EXPECT_EQ(other.Do([&] { return QVRWLockTryAcquireWrite(l); }), QV_E_FAIL);
  EXPECT_EQ(QVRWLockReleaseWrite(l), 0);
  EXPECT_EQ(QVRWLockReleaseWrite(l), QV_E_FAIL);
  EXPECT_EQ(other.Do([&] { return QVRWLockTryAcquireWrite(l); }), QV_E_FAIL);  // the read is still held
  EXPECT_EQ(other.Do([&] { return QVRWLockAcquireRead(l); }), 0);              // readers share
  EXPECT_EQ(other.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_EQ(QVRWLockReleaseRead(l), 0);
  EXPECT_EQ(QVRWLockReleaseRead(l), QV_E_FAIL);
  EXPECT_EQ(other.Do([&] {
              QVRESULT r = QVRWLockTryAcquireWrite(l);
              if (r == 0) QVRWLockReleaseWrite(l);
              return r;
            }),
            0);
}

TEST(RWLock, ReadsTakenWhileWritingOutliveTheWriteRelease) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  ASSERT_EQ(QVRWLockAcquireRead(l), 0);
  ASSERT_EQ(QVRWLockAcquireWrite(l), 0);
  ASSERT_EQ(QVRWLockAcquireRead(l), 0);
  ASSERT_EQ(QVRWLockReleaseWrite(l), 0);
  auto readers = lock.impl()->Readers();
  ASSERT_EQ(readers.size(), 1u);
  EXPECT_EQ(readers[0].holds, 2u);
  EXPECT_EQ(QVRWLockReleaseRead(l), 0);
  EXPECT_EQ(QVRWLockReleaseRead(l), 0);
  EXPECT_EQ(QVRWLockReleaseRead(l), QV_E_FAIL);
  EXPECT_TRUE(lock.impl()->Readers().empty());
}

// A writer that read nothing before takes reads while writing: after the
// write release it is an ordinary reader, and writers wait for it.
TEST(RWLock, AWriterWithoutEarlierReadsKeepsTheReadsItTookWhileWriting) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker w, other, third;
  ASSERT_EQ(w.Do([&] { return QVRWLockAcquireWrite(l); }), 0);
  ASSERT_EQ(w.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  ASSERT_EQ(w.Do([&] { return QVRWLockTryAcquireRead(l); }), 0);
  ASSERT_EQ(w.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  ASSERT_EQ(w.Do([&] { return QVRWLockReleaseRead(l); }), 0);  // one released while still writing
  ASSERT_EQ(w.Do([&] { return QVRWLockReleaseWrite(l); }), 0);
  auto readers = lock.impl()->Readers();
  ASSERT_EQ(readers.size(), 1u);
  EXPECT_EQ(readers[0].thread, w.Id());
  EXPECT_EQ(readers[0].holds, 2u);
  EXPECT_EQ(qv::sync::CQVEvent::FromHandle(lock.impl()->GateHandle())->TryWait(), QV_E_FAIL);  // closed

  EXPECT_EQ(other.Do([&] { return QVRWLockTryAcquireWrite(l); }), QV_E_FAIL);
  auto write = other.Start([&] { return QVRWLockAcquireWrite(l); });
  EXPECT_TRUE(Blocked(write));
  EXPECT_EQ(third.Do([&] { return QVRWLockTryAcquireRead(l); }), QV_E_FAIL);  // the writer waits: no new readers
  EXPECT_EQ(w.Do([&] { return QVRWLockAcquireRead(l); }), 0);               // re-reading is fine
  for (int i = 0; i < 2; ++i) EXPECT_EQ(w.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_TRUE(Blocked(write));
  EXPECT_EQ(w.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_EQ(Finish(write), 0);
  EXPECT_EQ(w.Do([&] { return QVRWLockReleaseRead(l); }), QV_E_FAIL);
  EXPECT_EQ(other.Do([&] { return QVRWLockReleaseWrite(l); }), 0);
  EXPECT_TRUE(lock.impl()->Readers().empty());
}

// A reader that becomes the writer once the other readers have left keeps
// its read after the write release; the next writer must wait for it.
TEST(RWLock, AnUpgradedReaderThatKeepsItsReadStillHoldsOffWriters) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker a, b, c;
  ASSERT_EQ(a.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  ASSERT_EQ(b.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  auto upgrade = a.Start([&] { return QVRWLockAcquireWrite(l); });
  EXPECT_TRUE(Blocked(upgrade));
  EXPECT_EQ(b.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  ASSERT_EQ(Finish(upgrade), 0);
  ASSERT_EQ(a.Do([&] { return QVRWLockReleaseWrite(l); }), 0);
  EXPECT_EQ(c.Do([&] { return QVRWLockTryAcquireWrite(l); }), QV_E_FAIL);
  auto write = c.Start([&] { return QVRWLockAcquireWrite(l); });
  EXPECT_TRUE(Blocked(write));
  EXPECT_EQ(a.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_EQ(Finish(write), 0);
  EXPECT_EQ(c.Do([&] { return QVRWLockReleaseWrite(l); }), 0);
}

TEST(RWLock, AReaderAskingToWriteWhileAnotherWriterWaitsIsRefusedInsteadOfDeadlocking) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker a, b;
  ASSERT_EQ(a.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  ASSERT_EQ(b.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  auto upgrade = a.Start([&] { return QVRWLockAcquireWrite(l); });
  EXPECT_TRUE(Blocked(upgrade));
  auto second = b.Start([&] { return QVRWLockAcquireWrite(l); });
  EXPECT_EQ(Finish(second), QV_E_FAIL);
  EXPECT_EQ(b.Do([&] { return QVRWLockTryAcquireWrite(l); }), QV_E_FAIL);
  EXPECT_EQ(b.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_EQ(Finish(upgrade), 0);
  EXPECT_EQ(a.Do([&] { return QVRWLockReleaseWrite(l); }), 0);
  EXPECT_EQ(a.Do([&] { return QVRWLockReleaseRead(l); }), 0);
}

TEST(RWLock, ReleasesByThreadsThatHoldNothingAreRefusedAndChangeNothing) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker w, other;
  EXPECT_EQ(QVRWLockReleaseRead(l), QV_E_FAIL);
  EXPECT_EQ(QVRWLockReleaseWrite(l), QV_E_FAIL);
  ASSERT_EQ(w.Do([&] { return QVRWLockAcquireWrite(l); }), 0);
  ASSERT_EQ(w.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  EXPECT_EQ(other.Do([&] { return QVRWLockReleaseRead(l); }), QV_E_FAIL);
  EXPECT_EQ(other.Do([&] { return QVRWLockReleaseWrite(l); }), QV_E_FAIL);
  EXPECT_EQ(other.Do([&] { return QVRWLockTryAcquireRead(l); }), QV_E_FAIL);  // still written
  EXPECT_EQ(w.Do([&] { return QVRWLockReleaseRead(l); }), 0);                 // its read was not taken
  EXPECT_EQ(w.Do([&] { return QVRWLockReleaseRead(l); }), QV_E_FAIL);
  EXPECT_EQ(w.Do([&] { return QVRWLockReleaseWrite(l); }), 0);
  ASSERT_EQ(w.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  EXPECT_EQ(other.Do([&] { return QVRWLockReleaseWrite(l); }), QV_E_FAIL);
  EXPECT_EQ(w.Do([&] { return QVRWLockReleaseWrite(l); }), QV_E_FAIL);  // reads, does not write
  EXPECT_EQ(w.Do([&] { return QVRWLockReleaseRead(l); }), 0);
}

TEST(RWLock, TryWriteWhileAnotherReadsFailsAtOnceAndLeavesNoPendingWriter) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker reader, writer, newcomer;
  ASSERT_EQ(reader.Do([&] { return QVRWLockAcquireRead(l); }), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(writer.Do([&] { return QVRWLockTryAcquireWrite(l); }), QV_E_FAIL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  auto read = newcomer.Start([&] { return QVRWLockAcquireRead(l); });
  EXPECT_EQ(Finish(read), 0);  // not held off by a writer
  EXPECT_EQ(newcomer.Do([&] { return QVRWLockReleaseRead(l); }), 0);
  EXPECT_EQ(reader.Do([&] { return QVRWLockReleaseRead(l); }), 0);
}

TEST(RWLock, WriteLockIsRecursive) {
  RWLock lock;
  QVRWLOCK l = lock.get();
  Worker other;
  ASSERT_EQ(QVRWLockAcquireWrite(l), 0);
  ASSERT_EQ(QVRWLockTryAcquireWrite(l), 0);
  ASSERT_EQ(QVRWLockAcquireWrite(l), 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(QVRWLockReleaseWrite(l), 0);
    EXPECT_EQ(other.Do([&] { return QVRWLockTryAcquireRead(l); }), QV_E_FAIL);
  }
  EXPECT_EQ(QVRWLockReleaseWrite(l), 0);
  EXPECT_EQ(QVRWLockReleaseWrite(l), QV_E_FAIL);
  EXPECT_EQ(other.Do([&] { return QVRWLockTryAcquireRead(l); }), 0);
  EXPECT_EQ(other.Do([&] { return QVRWLockReleaseRead(l); }), 0);
}

TEST(RWLock, PartsAreNamedAfterTheLock) {
  RWLock lock("cache");
  auto mutexName = [](QVMUTEX m) { return qv::sync::CQVMutex::FromHandle(m)->GetName(); };
  EXPECT_EQ(mutexName(lock.impl()->LockHandle()), "cache::CQVRWLockImpl::m_lock");
  EXPECT_EQ(mutexName(lock.impl()->ArrayLockHandle()), "cache::CQVRWLockImpl::m_arrayLock");
  EXPECT_EQ(qv::sync::CQVMutex::FromHandle(lock.impl()->LockHandle())->GetFlags(), 0u);
  auto* gate = qv::sync::CQVEvent::FromHandle(lock.impl()->GateHandle());
  EXPECT_EQ(gate->Name(), "cache::CQVRWLockImpl::m_writerGate");
  EXPECT_TRUE(gate->IsManualReset());
  EXPECT_EQ(gate->TryWait(), QV_S_OK);  // open while nobody reads
  RWLock unnamed(nullptr);
  EXPECT_EQ(mutexName(unnamed.impl()->LockHandle()), "::CQVRWLockImpl::m_lock");
}

TEST(RWLock, BadInputGetsAClearResult) {
  EXPECT_EQ(QVRWLockCreate("x", 0, nullptr), QV_E_INVALIDARG);
  auto invalid = static_cast<QVRWLOCK>(QV_INVALID_HANDLE);
  for (QVRWLOCK h : {static_cast<QVRWLOCK>(nullptr), invalid}) {
    for (QVRESULT r : {QVRWLockAcquireRead(h), QVRWLockAcquireWrite(h), QVRWLockReleaseRead(h), QVRWLockReleaseWrite(h),
                       QVRWLockTryAcquireRead(h), QVRWLockTryAcquireWrite(h)})
      EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVRWLockDestroy(h), 0);
  }
}

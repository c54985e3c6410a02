// Reader-writer lock and event costs against the platform's own primitives,
// measured in one run so that the ratios compare like with like.
#include <benchmark/benchmark.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include <qvcore5/qvcore.h>

namespace {

// ---- uncontended ------------------------------------------------------------

void BM_PthreadRWLock_Read(benchmark::State& state) {
  pthread_rwlock_t lock = PTHREAD_RWLOCK_INITIALIZER;
  for (auto _ : state) {
    pthread_rwlock_rdlock(&lock);
    pthread_rwlock_unlock(&lock);
  }
  pthread_rwlock_destroy(&lock);
}

void BM_QVRWLock_Read(benchmark::State& state) {
  QVRWLOCK lock;
  QVRWLockCreate("bench::read", 0, &lock);
  for (auto _ : state) {
    QVRWLockAcquireRead(lock);
    QVRWLockReleaseRead(lock);
  }
  QVRWLockDestroy(lock);
}

void BM_PthreadRWLock_Write(benchmark::State& state) {
  pthread_rwlock_t lock = PTHREAD_RWLOCK_INITIALIZER;
  for (auto _ : state) {
    pthread_rwlock_wrlock(&lock);
    pthread_rwlock_unlock(&lock);
  }
  pthread_rwlock_destroy(&lock);
}

void BM_QVRWLock_Write(benchmark::State& state) {
  QVRWLOCK lock;
  QVRWLockCreate("bench::write", 0, &lock);
  for (auto _ : state) {
    QVRWLockAcquireWrite(lock);
    QVRWLockReleaseWrite(lock);
  }
  QVRWLockDestroy(lock);
}

// ---- four readers and one writer ----------------------------------------------
// Thread 0 writes, threads 1-4 read; each hold touches a small shared table.

constexpr int kTable = 16;
long g_table[kTable];

long ReadTable() {
  long sum = 0;
  for (long v : g_table) sum += v;
  return sum;
}

void WriteTable() {
  for (long& v : g_table) ++v;
}

pthread_rwlock_t g_pthreadLock = PTHREAD_RWLOCK_INITIALIZER;
std::shared_mutex g_sharedMutex;
QVRWLOCK g_qvLock = [] {
  QVRWLOCK lock;
  QVRWLockCreate("bench::mixed", 0, &lock);
  return lock;
}();

void BM_Mixed_PthreadRWLock(benchmark::State& state) {
  const bool writer = state.thread_index() == 0;
  for (auto _ : state) {
    if (writer) {
      pthread_rwlock_wrlock(&g_pthreadLock);
      WriteTable();
    } else {
      pthread_rwlock_rdlock(&g_pthreadLock);
      benchmark::DoNotOptimize(ReadTable());
    }
    pthread_rwlock_unlock(&g_pthreadLock);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Mixed_SharedMutex(benchmark::State& state) {
  const bool writer = state.thread_index() == 0;
  for (auto _ : state) {
    if (writer) {
      std::unique_lock<std::shared_mutex> g(g_sharedMutex);
      WriteTable();
    } else {
      std::shared_lock<std::shared_mutex> g(g_sharedMutex);
      benchmark::DoNotOptimize(ReadTable());
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Mixed_QVRWLock(benchmark::State& state) {
  const bool writer = state.thread_index() == 0;
  for (auto _ : state) {
    if (writer) {
      QVRWLockAcquireWrite(g_qvLock);
      WriteTable();
      QVRWLockReleaseWrite(g_qvLock);
    } else {
      QVRWLockAcquireRead(g_qvLock);
      benchmark::DoNotOptimize(ReadTable());
      QVRWLockReleaseRead(g_qvLock);
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// ---- token passing ----------------------------------------------------------
// The benchmark thread hands a token to a partner and waits for it to come back.

void BM_TokenPass_QVEvents(benchmark::State& state) {
  QVEVENT there, back;
  QVEventCreate("bench::there", 0, &there);
  QVEventCreate("bench::back", 0, &back);
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    for (;;) {
      QVEventWait(there);
      if (stop.load(std::memory_order_relaxed)) return;
      QVEventSignal(back);
    }
  });
  for (auto _ : state) {
    QVEventSignal(there);
    QVEventWait(back);
  }
  stop = true;
  QVEventSignal(there);
  partner.join();
  QVEventDestroy(there);
  QVEventDestroy(back);
  state.SetItemsProcessed(state.iterations());
}

// The same with a flag, a mutex and a condition variable per direction.
struct PlainSignal {
  std::mutex mutex;
  std::condition_variable cv;
  bool set = false;
  void Signal() {
    {
      std::lock_guard<std::mutex> g(mutex);
      set = true;
    }
    cv.notify_one();
  }
  void Wait() {
    std::unique_lock<std::mutex> g(mutex);
    cv.wait(g, [this] { return set; });
    set = false;
  }
};

void BM_TokenPass_MutexCondvar(benchmark::State& state) {
  PlainSignal there, back;
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    for (;;) {
      there.Wait();
      if (stop.load(std::memory_order_relaxed)) return;
      back.Signal();
    }
  });
  for (auto _ : state) {
    there.Signal();
    back.Wait();
  }
  stop = true;
  there.Signal();
  partner.join();
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_PthreadRWLock_Read);
BENCHMARK(BM_QVRWLock_Read);
BENCHMARK(BM_PthreadRWLock_Write);
BENCHMARK(BM_QVRWLock_Write);
BENCHMARK(BM_Mixed_PthreadRWLock)->Threads(5)->UseRealTime();
BENCHMARK(BM_Mixed_SharedMutex)->Threads(5)->UseRealTime();
BENCHMARK(BM_Mixed_QVRWLock)->Threads(5)->UseRealTime();
BENCHMARK(BM_TokenPass_MutexCondvar)->UseRealTime();
BENCHMARK(BM_TokenPass_QVEvents)->UseRealTime();

BENCHMARK_MAIN();

// Mutex costs against the platform's recursive lock underneath: a recursive
// pthread mutex, on Windows a critical section.
#include <benchmark/benchmark.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <qvcore5/qvcore.h>

namespace {

#ifdef _WIN32
struct PlatformLock {
  CRITICAL_SECTION cs;
  PlatformLock() { InitializeCriticalSection(&cs); }
  void Lock() { EnterCriticalSection(&cs); }
  void Unlock() { LeaveCriticalSection(&cs); }
};
#else
struct PlatformLock {
  pthread_mutex_t mutex;
  PlatformLock() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  void Lock() { pthread_mutex_lock(&mutex); }
  void Unlock() { pthread_mutex_unlock(&mutex); }
};
#endif

PlatformLock& SharedPlatformLock() {
  static PlatformLock lock;
  return lock;
}

QVMUTEX SharedMutex() {
  static QVMUTEX plain = [] {
    QVMUTEX m;
    QVMutexCreate("bench::contended", 0, &m);
    return m;
  }();
  return plain;
}

void BM_PlatformRecursive(benchmark::State& state) {
  PlatformLock& m = SharedPlatformLock();
  for (auto _ : state) {
    m.Lock();
    m.Unlock();
  }
}

void BM_QVMutex(benchmark::State& state) {
  QVMUTEX m;
  QVMutexCreate("bench::uncontended", static_cast<uint32_t>(state.range(0)), &m);
  for (auto _ : state) {
    QVMutexAcquire(m);
    QVMutexRelease(m);
  }
  QVMutexDestroy(m);
}

// Two threads on one lock, each doing a little work inside it.
void BM_PlatformContended(benchmark::State& state) {
  PlatformLock& m = SharedPlatformLock();
  long shared = 0;
  for (auto _ : state) {
    m.Lock();
    benchmark::DoNotOptimize(++shared);
    m.Unlock();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_QVMutexContended(benchmark::State& state) {
  QVMUTEX m = SharedMutex();
  long shared = 0;
  for (auto _ : state) {
    QVMutexAcquire(m);
    benchmark::DoNotOptimize(++shared);
    QVMutexRelease(m);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_PlatformRecursive);
BENCHMARK(BM_QVMutex)->Arg(0)->ArgName("flags0");
BENCHMARK(BM_QVMutex)->Arg(QV_MUTEX_CHECKED)->ArgName("checked");
BENCHMARK(BM_QVMutex)->Arg(QV_MUTEX_STATS)->ArgName("stats");
BENCHMARK(BM_PlatformContended)->Threads(2)->UseRealTime();
BENCHMARK(BM_QVMutexContended)->Threads(2)->UseRealTime();

BENCHMARK_MAIN();

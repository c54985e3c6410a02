// Mutex costs against a recursive pthread mutex, the platform lock underneath.
#include <benchmark/benchmark.h>
#include <pthread.h>

#include <qvcore5/qvcore.h>

namespace {

pthread_mutex_t* RecursivePthreadMutex() {
  static pthread_mutex_t mutex;
  static bool initialized = [] {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex, &attr);
    return true;
  }();
  (void)initialized;
  return &mutex;
}

QVMUTEX SharedMutex() {
  static QVMUTEX plain = [] {
    QVMUTEX m;
    QVMutexCreate("bench::contended", 0, &m);
    return m;
  }();
  return plain;
}

void BM_PthreadRecursive(benchmark::State& state) {
  pthread_mutex_t* m = RecursivePthreadMutex();
  for (auto _ : state) {
    pthread_mutex_lock(m);
    pthread_mutex_unlock(m);
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
void BM_PthreadContended(benchmark::State& state) {
  pthread_mutex_t* m = RecursivePthreadMutex();
  long shared = 0;
  for (auto _ : state) {
    pthread_mutex_lock(m);
    benchmark::DoNotOptimize(++shared);
    pthread_mutex_unlock(m);
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

BENCHMARK(BM_PthreadRecursive);
BENCHMARK(BM_QVMutex)->Arg(0)->ArgName("flags0");
BENCHMARK(BM_QVMutex)->Arg(QV_MUTEX_CHECKED)->ArgName("checked");
BENCHMARK(BM_QVMutex)->Arg(QV_MUTEX_STATS)->ArgName("stats");
BENCHMARK(BM_PthreadContended)->Threads(2)->UseRealTime();
BENCHMARK(BM_QVMutexContended)->Threads(2)->UseRealTime();

BENCHMARK_MAIN();

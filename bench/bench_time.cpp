// The precise timestamp against the raw clock, and the lock-statistics dump
// against plain fprintf of the same lines.
#include <benchmark/benchmark.h>
#include <qvcore5/qvcore.h>
#include <time.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kMutexes = 10000;

void BM_QVTimeGetPreciseTimestamp(benchmark::State& state) {
  int64_t stamp;
  for (auto _ : state) {
    QVTimeGetPreciseTimestamp(&stamp);
    benchmark::DoNotOptimize(stamp);
  }
}
BENCHMARK(BM_QVTimeGetPreciseTimestamp);

void BM_clock_gettime_REALTIME(benchmark::State& state) {
  timespec ts;
  for (auto _ : state) {
    clock_gettime(CLOCK_REALTIME, &ts);
    benchmark::DoNotOptimize(ts);
  }
}
BENCHMARK(BM_clock_gettime_REALTIME);

// 10,000 measured mutexes, each used a little so the numbers have digits.
struct Registry {
  std::vector<QVMUTEX> mutexes;
  std::vector<std::string> names;
  std::filesystem::path dir;
  Registry() {
    for (int i = 0; i < kMutexes; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "bench::mutex-%05d", i);
      QVMUTEX m;
      QVMutexCreate(name, QV_MUTEX_STATS, &m);
      for (int k = 0; k < 1 + i % 7; ++k) {
        QVMutexAcquire(m);
        QVMutexRelease(m);
      }
      mutexes.push_back(m);
      names.push_back(name);
    }
    dir = std::filesystem::temp_directory_path() / ("qvbench-" + std::to_string(QVPerfGetCount()));
    std::filesystem::create_directory(dir);
  }
  ~Registry() {
    for (QVMUTEX m : mutexes) QVMutexDestroy(m);
    QVResetLockStats();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

void BM_QVDumpLockStats_10000(benchmark::State& state) {
  Registry& reg = TheRegistry();
  std::filesystem::path file = reg.dir / "dump.csv";
  std::u16string wide = file.u16string();
  for (auto _ : state) {
    if (QVDumpLockStats("bench", wide.c_str()) != QV_S_OK) state.SkipWithError("dump failed");
    state.PauseTiming();
    std::filesystem::remove(file);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_QVDumpLockStats_10000)->Unit(benchmark::kMillisecond);

// The same lines, of the same length, written with fprintf to a file opened
// for appending; optionally flushed after every line.
void WriteWithFprintf(benchmark::State& state, bool flushEachLine) {
  Registry& reg = TheRegistry();
  std::filesystem::path file = reg.dir / "fprintf.csv";
  std::vector<QVLockStats> stats(reg.mutexes.size());
  for (size_t i = 0; i < reg.mutexes.size(); ++i) QVGetLockStats(reg.mutexes[i], &stats[i]);
  const char* stamp = "01/01/2026 00:00:00";
  for (auto _ : state) {
    FILE* f = std::fopen(file.c_str(), "a");
    std::fprintf(f, "BeginLockStatistics: %s - %s\n", "bench", stamp);
    std::fprintf(f, "CPU Frequency,1000000\n");
    std::fprintf(f, "Name/Handle,Held Count,Total Held Time,Max Held Time,Acquire Count,Total Acquire Time,"
                    "Max Acquire Time,Contention Count\n");
    for (size_t i = 0; i < reg.mutexes.size(); ++i) {
      const QVLockStats& s = stats[i];
      std::fprintf(f, "QV_MUTEX:0x%016" PRIXPTR "(%s),%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64
                      ",%" PRId64 ",%" PRId64 "\n",
                   reinterpret_cast<uintptr_t>(reg.mutexes[i]), reg.names[i].c_str(), s.heldCount, s.totalHeldTime,
                   s.maxHeldTime, s.acquireCount, s.totalAcquireTime, s.maxAcquireTime, s.contentionCount);
      if (flushEachLine) std::fflush(f);
    }
    std::fprintf(f, "EndLockStatistics: %s - %s\n\n\n", "bench", stamp);
    std::fclose(f);
    state.PauseTiming();
    std::filesystem::remove(file);
    state.ResumeTiming();
  }
}

void BM_fprintf_same_lines_10000(benchmark::State& state) { WriteWithFprintf(state, false); }
BENCHMARK(BM_fprintf_same_lines_10000)->Unit(benchmark::kMillisecond);

void BM_fprintf_flush_each_line_10000(benchmark::State& state) { WriteWithFprintf(state, true); }
BENCHMARK(BM_fprintf_flush_each_line_10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

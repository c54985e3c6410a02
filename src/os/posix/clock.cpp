#include <time.h>

#include "os/os_clock.h"

namespace qv::os {

namespace {
constexpr uint64_t kEpochDelta1601 = 116444736000000000ULL;  // 1970-01-01 in 100 ns since 1601

uint64_t SystemTimePrecise() noexcept {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return kEpochDelta1601 + static_cast<uint64_t>(ts.tv_sec) * 10000000ULL + static_cast<uint64_t>(ts.tv_nsec) / 100;
}
}  // namespace

int64_t PerfCounter() noexcept {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t PerfFrequency() noexcept { return 1000000000LL; }

uint64_t TickCount64() noexcept {
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000ULL + static_cast<uint64_t>(ts.tv_nsec) / 1000000ULL;
}

// CLOCK_REALTIME already has nanosecond resolution, so there is only one choice.
SystemTimeFunction ChooseSystemTimeFunction() noexcept { return &SystemTimePrecise; }

}  // namespace qv::os

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace qv::os {

namespace detail {
std::atomic<bool> g_fastTicksUseTsc{false};
}

namespace {

bool HasInvariantTsc() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a, b, c, d;
  if (!__get_cpuid(0x80000000u, &a, &b, &c, &d) || a < 0x80000007u) return false;
  __get_cpuid(0x80000007u, &a, &b, &c, &d);
  return (d & (1u << 8)) != 0;
#else
  return false;
#endif
}

// Counts of the time-stamp counter per second, measured against the
// monotonic clock over about two milliseconds.
int64_t CalibrateTsc() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  int64_t monoStart = PerfCounter();
  uint64_t tscStart = __builtin_ia32_rdtsc();
  int64_t mono;
  do {
    mono = PerfCounter();
  } while (mono - monoStart < 2000000);
  uint64_t tsc = __builtin_ia32_rdtsc();
  return static_cast<int64_t>(static_cast<__int128>(tsc - tscStart) * 1000000000 / (mono - monoStart));
#else
  return 0;
#endif
}

}  // namespace

int64_t FastTickFrequency() noexcept {
  static const int64_t frequency = [] {
    int64_t tsc = HasInvariantTsc() ? CalibrateTsc() : 0;
    if (tsc > 0) {
      detail::g_fastTicksUseTsc.store(true, std::memory_order_relaxed);
      return tsc;
    }
    return PerfFrequency();
  }();
  return frequency;
}

}  // namespace qv::os

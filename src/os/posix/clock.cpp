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

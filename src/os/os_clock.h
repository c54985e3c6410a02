// Clocks: performance counter, tick count and system time.
#pragma once
#include <atomic>
#include <cstdint>

#include "os/tsc.h"

namespace qv::os {

// Monotonic high-resolution counter and its frequency (counts per second).
int64_t PerfCounter() noexcept;
int64_t PerfFrequency() noexcept;
// Milliseconds since the system started.
uint64_t TickCount64() noexcept;

// System time as 100 ns intervals since 1601-01-01 UTC.
using SystemTimeFunction = uint64_t (*)() noexcept;
// Picks the most precise system-time source the platform offers.
SystemTimeFunction ChooseSystemTimeFunction() noexcept;

// A cheaper counter for measuring lock waits and holds: the processor's
// invariant time-stamp counter where there is one, else the performance
// counter. FastTickFrequency must be called once before the ticks are used;
// it picks the source and calibrates it.
int64_t FastTickFrequency() noexcept;

namespace detail {
extern std::atomic<bool> g_fastTicksUseTsc;
}

inline int64_t FastTicks() noexcept {
  if (tsc::kAvailable && detail::g_fastTicksUseTsc.load(std::memory_order_relaxed))
    return static_cast<int64_t>(tsc::Read());
  return PerfCounter();
}

}  // namespace qv::os

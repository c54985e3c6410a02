// Clocks: performance counter, tick count and system time.
#pragma once
#include <cstdint>

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

}  // namespace qv::os

// The processor's time-stamp counter: processor-specific, the same on every
// operating system. The clock backends stay free of it.
#pragma once
#include <cstdint>

namespace qv::os::tsc {

#if defined(__x86_64__) || defined(__i386__)
constexpr bool kAvailable = true;
inline uint64_t Read() noexcept { return __builtin_ia32_rdtsc(); }
#else
constexpr bool kAvailable = false;
inline uint64_t Read() noexcept { return 0; }
#endif

// True when the counter runs at a constant rate in every power state, so its
// ticks measure time.
bool IsInvariant() noexcept;

// Counts of the time-stamp counter per second, measured against a monotonic
// counter of the given frequency over about two milliseconds; 0 without a
// usable counter.
int64_t Calibrate(int64_t (*counter)() noexcept, int64_t counterFrequency) noexcept;

}  // namespace qv::os::tsc

// Calling-thread services: identifier, sleep, yield, breakpoint.
#pragma once
#include <cstdint>

namespace qv::os {

// The platform thread id (gettid on Linux), cached per thread.
uint32_t CurrentThreadId() noexcept;
// 0 gives up the rest of the time slice.
void SleepMs(uint32_t milliseconds) noexcept;
void YieldThread() noexcept;
void DebugBreak() noexcept;

}  // namespace qv::os

// Pieces of the time functions that tests reach without the clocks.
#pragma once
#include <cstdint>

#include "os/os_clock.h"
#include "qvcore5/qv_time.h"

namespace qv::process {

// 1970-01-01 00:00 UTC in 100 ns intervals since 1601.
constexpr uint64_t kEpoch1601 = 116444736000000000ULL;

// A 1601-based clock reading to nanoseconds since 1970; never below 1.
inline int64_t TimestampFrom1601(uint64_t value) noexcept {
  if (value <= kEpoch1601) return 1;
  return static_cast<int64_t>((value - kEpoch1601) * 100);
}

inline void SplitTimestamp(int64_t nanoseconds, QVTimeOfDay* out) noexcept {
  out->seconds = nanoseconds / 1000000000;
  out->nanoseconds = nanoseconds % 1000000000;
}

// The precise system-time source, chosen once at the library's start (the
// start calls Choose); before it, Get chooses on every call.
void ChooseSystemTimeSource() noexcept;
os::SystemTimeFunction SystemTimeSource() noexcept;

bool IsLeapYear(int64_t year) noexcept;
int DaysInMonth(int64_t year, int month) noexcept;
// Every field of the record within its range, the day within its month.
bool IsValidTime(const QVTime& time) noexcept;

}  // namespace qv::process

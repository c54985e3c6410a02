#include <windows.h>

#include "os/os_clock.h"

namespace qv::os {

namespace {
uint64_t SystemTimePrecise() noexcept {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
}  // namespace

int64_t PerfCounter() noexcept {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

// Fixed at boot, so it is asked once.
int64_t PerfFrequency() noexcept {
  static const int64_t frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<int64_t>(value.QuadPart);
  }();
  return frequency;
}

uint64_t TickCount64() noexcept { return GetTickCount64(); }

SystemTimeFunction ChooseSystemTimeFunction() noexcept { return &SystemTimePrecise; }

}  // namespace qv::os

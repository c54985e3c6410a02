#include "os/tsc.h"

#include <atomic>

#include "os/os_clock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace qv::os {

namespace tsc {

bool IsInvariant() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a, b, c, d;
  if (!__get_cpuid(0x80000000u, &a, &b, &c, &d) || a < 0x80000007u) return false;
  __get_cpuid(0x80000007u, &a, &b, &c, &d);
  return (d & (1u << 8)) != 0;
#else
  return false;
#endif
}

int64_t Calibrate(int64_t (*counter)() noexcept, int64_t counterFrequency) noexcept {
  if (!kAvailable || counterFrequency <= 0) return 0;
  const int64_t span = counterFrequency / 500;  // 2 ms
  int64_t start = counter();
  uint64_t tscStart = Read();
  int64_t now;
  do {
    now = counter();
  } while (now - start < span);
  uint64_t tscEnd = Read();
  const int64_t elapsed = now - start;
  const auto cycles = static_cast<int64_t>(tscEnd - tscStart);
#if defined(__SIZEOF_INT128__)
  return static_cast<int64_t>(static_cast<__int128>(cycles) * counterFrequency / elapsed);
#else
  // 32-bit targets: the rest is below the 2 ms span, so its product fits.
  return cycles / elapsed * counterFrequency + cycles % elapsed * counterFrequency / elapsed;
#endif
}

}  // namespace tsc

namespace detail {
std::atomic<bool> g_fastTicksUseTsc{false};
}

int64_t FastTickFrequency() noexcept {
  static const int64_t frequency = [] {
    int64_t rate = tsc::IsInvariant() ? tsc::Calibrate(&PerfCounter, PerfFrequency()) : 0;
    if (rate > 0) {
      detail::g_fastTicksUseTsc.store(true, std::memory_order_relaxed);
      return rate;
    }
    return PerfFrequency();
  }();
  return frequency;
}

}  // namespace qv::os

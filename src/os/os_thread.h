// Calling-thread services: identifier, sleep, yield, breakpoint.
#pragma once
#include <cstdint>

namespace qv::os {

namespace detail {
// constinit: no per-access check for a dynamic initializer.
extern thread_local constinit uint32_t t_threadId __attribute__((tls_model("initial-exec")));
uint32_t LookUpThreadId() noexcept;
}  // namespace detail

// The platform thread id (gettid on Linux), cached per thread.
inline uint32_t CurrentThreadId() noexcept {
  uint32_t id = detail::t_threadId;
  return __builtin_expect(id != 0, 1) ? id : detail::LookUpThreadId();
}
// 0 gives up the rest of the time slice.
void SleepMs(uint32_t milliseconds) noexcept;
void YieldThread() noexcept;
// One step of a busy wait: tells the processor that the loop spins.
inline void SpinPause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield" ::: "memory");
#endif
}
void BreakIntoDebugger() noexcept;

// Runs routine(value) when a thread that armed the hook ends, with the value
// it armed it with. Unlike the destructor of a thread_local object it does
// not depend on the compiler's thread-local storage still being there (the
// emulated storage of mingw-w64 is freed before such destructors run).
// Make one per routine, as a static that is never destroyed.
class ThreadEndHook {
 public:
  explicit ThreadEndHook(void (*routine)(void* value)) noexcept;
  ThreadEndHook(const ThreadEndHook&) = delete;
  ThreadEndHook& operator=(const ThreadEndHook&) = delete;
  // Arms the hook for the calling thread; a null value disarms it. False
  // when the platform has no room for another hook.
  bool Arm(void* value) noexcept;

 private:
  uintptr_t m_key = 0;
  bool m_valid = false;
};

}  // namespace qv::os

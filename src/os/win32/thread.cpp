#include <windows.h>

#include "os/os_thread.h"

namespace qv::os {

namespace detail {
constinit thread_local uint32_t t_threadId __attribute__((tls_model("initial-exec"))) = 0;

uint32_t LookUpThreadId() noexcept {
  t_threadId = static_cast<uint32_t>(GetCurrentThreadId());
  return t_threadId;
}
}  // namespace detail

void SleepMs(uint32_t milliseconds) noexcept { Sleep(milliseconds); }

void YieldThread() noexcept { SwitchToThread(); }

void BreakIntoDebugger() noexcept { DebugBreak(); }

}  // namespace qv::os

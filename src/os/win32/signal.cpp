// Events and condition variables on a slim reader-writer lock and a Windows
// condition variable. Time-outs count down on the tick counter, which does
// not follow changes of the wall clock.
#include <windows.h>

#include "os/os_error.h"
#include "os/os_signal.h"
#include "os/win32/wide_text.h"

namespace qv::os {

static_assert(sizeof(native::PlainMutexType) == sizeof(SRWLOCK) && sizeof(native::CondType) == sizeof(CONDITION_VARIABLE),
              "the native types hold a SRWLOCK and a CONDITION_VARIABLE");

namespace {

SRWLOCK* Srw(native::PlainMutexType* m) noexcept { return reinterpret_cast<SRWLOCK*>(m); }
CONDITION_VARIABLE* Cond(native::CondType* c) noexcept { return reinterpret_cast<CONDITION_VARIABLE*>(c); }

// Milliseconds left until the deadline on the tick counter.
DWORD Remaining(ULONGLONG deadline) noexcept {
  ULONGLONG now = GetTickCount64();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace

// ---- event ----------------------------------------------------------------

Event::~Event() = default;  // slim locks and condition variables own nothing

bool Event::Create(bool manualReset, bool initialState) noexcept {
  InitializeSRWLock(Srw(&m_mutex));
  InitializeConditionVariable(Cond(&m_cond));
  m_manualReset = manualReset;
  m_signalled.store(initialState ? 1 : 0, std::memory_order_relaxed);
  m_created = true;
  return true;
}

bool Event::WakeAll() noexcept {
  AcquireSRWLockExclusive(Srw(&m_mutex));
  ++m_generation;
  ReleaseSRWLockExclusive(Srw(&m_mutex));
  WakeAllConditionVariable(Cond(&m_cond));
  return true;
}

bool Event::SetAuto() noexcept {
  bool wake = false;
  AcquireSRWLockExclusive(Srw(&m_mutex));
  if (m_waiters.load(std::memory_order_relaxed) > m_released) {
    ++m_released;
    wake = true;
  } else {
    m_signalled.store(1, std::memory_order_release);
  }
  ReleaseSRWLockExclusive(Srw(&m_mutex));
  if (wake) WakeConditionVariable(Cond(&m_cond));
  return true;
}

bool Event::TryTakeAuto() noexcept {
  uint32_t expected = 1;
  return m_signalled.load(std::memory_order_relaxed) == 1 &&
         m_signalled.compare_exchange_strong(expected, 0, std::memory_order_acquire, std::memory_order_relaxed);
}

uint32_t Event::Wait(uint32_t timeoutMs) noexcept {
  if (m_manualReset ? m_signalled.load(std::memory_order_acquire) != 0 : TryTakeAuto()) return kWaitObject0;
  if (timeoutMs == 0) return kWaitTimeout;
  return WaitSlow(timeoutMs);
}

uint32_t Event::WaitSlow(uint32_t timeoutMs) noexcept {
  const ULONGLONG deadline = timeoutMs == kInfinite ? 0 : GetTickCount64() + timeoutMs;
  AcquireSRWLockExclusive(Srw(&m_mutex));
  m_waiters.fetch_add(1, std::memory_order_seq_cst);
  const uint64_t generation = m_generation;
  uint32_t result = kWaitTimeout;
  bool timedOut = false;
  for (;;) {
    // The state is looked at once more after a time-out: a signal that came
    // with the time-out is taken rather than lost.
    if (m_manualReset) {
      if (m_signalled.load(std::memory_order_seq_cst) != 0 || m_generation != generation) {
        result = kWaitObject0;
        break;
      }
    } else if (m_released > 0) {
      --m_released;
      result = kWaitObject0;
      break;
    } else if (TryTakeAuto()) {
      result = kWaitObject0;
      break;
    }
    if (timedOut) break;
    DWORD wait = timeoutMs == kInfinite ? INFINITE : Remaining(deadline);
    if (!SleepConditionVariableSRW(Cond(&m_cond), Srw(&m_mutex), wait, 0)) {
      DWORD err = GetLastError();
      if (err == ERROR_TIMEOUT) {
        timedOut = true;
      } else {
        StoreLastError(err);
        result = kWaitFailed;
        break;
      }
    } else if (timeoutMs != kInfinite && Remaining(deadline) == 0) {
      timedOut = true;
    }
  }
  m_waiters.fetch_sub(1, std::memory_order_seq_cst);
  ReleaseSRWLockExclusive(Srw(&m_mutex));
  return result;
}

// ---- condition variable ---------------------------------------------------

ConditionVariable::~ConditionVariable() = default;

bool ConditionVariable::Create() noexcept {
  InitializeConditionVariable(Cond(&m_cond));
  m_created = true;
  return true;
}

bool ConditionVariable::SleepOn(CriticalSection& section, uint32_t timeoutMs) noexcept {
  // The Windows call reports a time-out as error 1460, as the contract asks.
  return SleepConditionVariableCS(Cond(&m_cond), static_cast<CRITICAL_SECTION*>(section.NativeHandle()),
                                  timeoutMs == kInfinite ? INFINITE : timeoutMs) ||
         win32::StoreNativeError();
}

void ConditionVariable::Wake() noexcept { WakeConditionVariable(Cond(&m_cond)); }

void ConditionVariable::WakeAll() noexcept { WakeAllConditionVariable(Cond(&m_cond)); }

}  // namespace qv::os

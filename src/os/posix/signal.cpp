#include <time.h>

#include <cerrno>

#include "os/os_error.h"
#include "os/os_signal.h"
#include "os/posix/errno_map.h"

namespace qv::os {

namespace {

// Absolute time-outs are taken on the monotonic clock, the one the
// condition variables below are bound to.
timespec DeadlineAfter(uint32_t milliseconds) noexcept {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  t.tv_sec += static_cast<time_t>(milliseconds / 1000);
  t.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}

int InitMonotonicCond(pthread_cond_t* cond) noexcept {
  pthread_condattr_t attr;
  int err = pthread_condattr_init(&attr);
  if (err != 0) return err;
  err = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  if (err == 0) err = pthread_cond_init(cond, &attr);
  pthread_condattr_destroy(&attr);
  return err;
}

int WaitOn(pthread_cond_t* cond, pthread_mutex_t* mutex, uint32_t timeoutMs, const timespec& deadline) noexcept {
  return timeoutMs == kInfinite ? pthread_cond_wait(cond, mutex) : pthread_cond_timedwait(cond, mutex, &deadline);
}

}  // namespace

// ---- event ----------------------------------------------------------------

Event::~Event() {
  if (!m_created) return;
  pthread_cond_destroy(&m_cond);
  pthread_mutex_destroy(&m_mutex);
}

bool Event::Create(bool manualReset, bool initialState) noexcept {
  int err = pthread_mutex_init(&m_mutex, nullptr);
  if (err != 0) {
    StoreLastErrorFromErrno(err);
    return false;
  }
  err = InitMonotonicCond(&m_cond);
  if (err != 0) {
    pthread_mutex_destroy(&m_mutex);
    StoreLastErrorFromErrno(err);
    return false;
  }
  m_manualReset = manualReset;
  m_signalled.store(initialState ? 1 : 0, std::memory_order_relaxed);
  m_created = true;
  return true;
}

bool Event::WakeAll() noexcept {
  pthread_mutex_lock(&m_mutex);
  ++m_generation;
  pthread_mutex_unlock(&m_mutex);
  pthread_cond_broadcast(&m_cond);
  return true;
}

bool Event::SetAuto() noexcept {
  bool wake = false;
  pthread_mutex_lock(&m_mutex);
  if (m_waiters.load(std::memory_order_relaxed) > m_released) {
    ++m_released;
    wake = true;
  } else {
    m_signalled.store(1, std::memory_order_release);
  }
  pthread_mutex_unlock(&m_mutex);
  // Woken after the unlock, the waiter does not run into the held mutex.
  if (wake) pthread_cond_signal(&m_cond);
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
  timespec deadline{};
  if (timeoutMs != kInfinite) deadline = DeadlineAfter(timeoutMs);
  pthread_mutex_lock(&m_mutex);
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
    int err = WaitOn(&m_cond, &m_mutex, timeoutMs, deadline);
    if (err == ETIMEDOUT) {
      timedOut = true;
    } else if (err != 0) {
      StoreLastErrorFromErrno(err);
      result = kWaitFailed;
      break;
    }
  }
  m_waiters.fetch_sub(1, std::memory_order_seq_cst);
  pthread_mutex_unlock(&m_mutex);
  return result;
}

// ---- condition variable ---------------------------------------------------

ConditionVariable::~ConditionVariable() {
  if (m_created) pthread_cond_destroy(&m_cond);
}

bool ConditionVariable::Create() noexcept {
  int err = InitMonotonicCond(&m_cond);
  if (err != 0) {
    StoreLastErrorFromErrno(err);
    return false;
  }
  m_created = true;
  return true;
}

bool ConditionVariable::SleepOn(CriticalSection& section, uint32_t timeoutMs) noexcept {
  timespec deadline{};
  if (timeoutMs != kInfinite) deadline = DeadlineAfter(timeoutMs);
  int err = WaitOn(&m_cond, static_cast<pthread_mutex_t*>(section.NativeHandle()), timeoutMs, deadline);
  if (err == 0) return true;
  StoreLastErrorFromErrno(err);  // ETIMEDOUT becomes kErrorTimeout
  return false;
}

void ConditionVariable::Wake() noexcept { pthread_cond_signal(&m_cond); }

void ConditionVariable::WakeAll() noexcept { pthread_cond_broadcast(&m_cond); }

}  // namespace qv::os

#include <pthread.h>

#include "os/os_lock.h"

namespace qv::os {

namespace {
pthread_mutex_t* Native(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }
}  // namespace

static_assert(sizeof(pthread_mutex_t) <= 48, "critical section storage too small");

CriticalSection::CriticalSection(uint32_t spinCount) noexcept : m_spinCount(spinCount) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(Native(m_storage), &attr);
  pthread_mutexattr_destroy(&attr);
}

CriticalSection::~CriticalSection() { pthread_mutex_destroy(Native(m_storage)); }

// The uncontended path is one try-lock; a recursive mutex succeeds at once
// for its owner, so a failure always means another thread holds it.
void CriticalSection::Enter() noexcept {
  if (pthread_mutex_trylock(Native(m_storage)) == 0) return;
  EnterContended();
}

void CriticalSection::EnterContended() noexcept {
  m_contention.fetch_add(1, std::memory_order_relaxed);
  for (uint32_t i = 0; i < m_spinCount; ++i) {
    if (pthread_mutex_trylock(Native(m_storage)) == 0) return;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  pthread_mutex_lock(Native(m_storage));
}

bool CriticalSection::TryEnter() noexcept { return pthread_mutex_trylock(Native(m_storage)) == 0; }

void CriticalSection::Leave() noexcept { pthread_mutex_unlock(Native(m_storage)); }

}  // namespace qv::os

// Scoped hold of a library mutex handle.
#pragma once
#include "qvcore5/qv_mutex.h"

namespace qv::base {

class MutexGuard {
 public:
  explicit MutexGuard(QVMUTEX mutex) noexcept : m_mutex(mutex) { QVMutexAcquire(m_mutex); }
  ~MutexGuard() { QVMutexRelease(m_mutex); }
  MutexGuard(const MutexGuard&) = delete;
  MutexGuard& operator=(const MutexGuard&) = delete;

 private:
  QVMUTEX m_mutex;
};

}  // namespace qv::base

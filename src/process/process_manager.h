// Tracks the children started through QVProcessCreate until they are reaped
// or detached. The set holds process handles only of children that started;
// taking a handle out of the set under the mutex is what gives one caller
// the right to close it, so two callers never reap the same child.
#pragma once
#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "qvcore5/qv_mutex.h"
#include "qvcore5/qv_process.h"

namespace qv::process {

class CQVProcessManager {
 public:
  CQVProcessManager();
  // Children still tracked are let go: none stays behind as a zombie.
  ~CQVProcessManager();
  CQVProcessManager(const CQVProcessManager&) = delete;
  CQVProcessManager& operator=(const CQVProcessManager&) = delete;

  // Tracks a started child; when that fails the child is killed and the
  // exception passes on.
  void Track(void* process);
  QVRESULT Reap(void* process, uint32_t* exitCode);
  QVRESULT Detach(void* process);
  QVRESULT Join(void* process, uint32_t* exitCode);
  // Waits for any tracked child without holding the mutex across the wait.
  QVRESULT JoinAny(void** process, uint32_t* exitCode);

  size_t TrackedCount();

 private:
  // Takes the handle out of the set; false when it was not there.
  bool Claim(void* process);
  // Called with the mutex held: waiters for any child look at the set again.
  void WakeWaiters() noexcept;

  QVMUTEX m_setMutex;
  std::set<uintptr_t> m_children;
  std::vector<void*> m_waiters;  // wake signals of threads waiting for any child
};

}  // namespace qv::process

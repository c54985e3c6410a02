#include "process/process_manager.h"

#include <algorithm>

#include "base/exception.h"
#include "base/mutex_guard.h"
#include "os/os_error.h"
#include "os/os_process.h"

namespace qv::process {

namespace {

QVRESULT LastResult() noexcept { return QVResultFromNative(os::LastError()); }

}  // namespace

CQVProcessManager::CQVProcessManager() {
  m_setMutex = nullptr;
  QVMutexCreate("CQVProcessManager::m_setMutex", 0, &m_setMutex);
}

CQVProcessManager::~CQVProcessManager() {
  for (uintptr_t child : m_children) os::ChildHandleClose(reinterpret_cast<void*>(child));
  m_children.clear();
  if (m_setMutex != nullptr && m_setMutex != reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) QVMutexDestroy(m_setMutex);
}

void CQVProcessManager::WakeWaiters() noexcept {
  for (void* wake : m_waiters) os::WakeSignalRaise(wake);
}

void CQVProcessManager::Track(void* process) {
  try {
    base::MutexGuard guard(m_setMutex);
    m_children.insert(reinterpret_cast<uintptr_t>(process));
    WakeWaiters();
  } catch (...) {
    os::ChildAbandon(process);
    throw;
  }
}

bool CQVProcessManager::Claim(void* process) {
  base::MutexGuard guard(m_setMutex);
  if (m_children.erase(reinterpret_cast<uintptr_t>(process)) == 0) return false;
  WakeWaiters();
  return true;
}

QVRESULT CQVProcessManager::Reap(void* process, uint32_t* exitCode) {
  bool ended = false;
  uint32_t code = 0;
  if (!os::ChildExitState(process, &ended, &code)) return LastResult();
  if (!ended) return QV_E_FAIL;  // still running: stays tracked
  if (!Claim(process)) return QV_E_HANDLE;
  os::ChildHandleClose(process);
  if (exitCode != nullptr) *exitCode = code;
  return QV_S_OK;
}

QVRESULT CQVProcessManager::Detach(void* process) {
  if (!Claim(process)) return QV_E_HANDLE;
  if (!os::ChildHandleClose(process)) return LastResult();
  return QV_S_OK;
}

QVRESULT CQVProcessManager::Join(void* process, uint32_t* exitCode) {
  if (!os::ChildAwaitEnd(process)) return LastResult();
  return Reap(process, exitCode);
}

QVRESULT CQVProcessManager::JoinAny(void** process, uint32_t* exitCode) {
  void* wake = os::WakeSignalMake();
  if (wake == nullptr) return LastResult();
  struct Registration {
    CQVProcessManager& m;
    void* wake;
    ~Registration() {
      {
        base::MutexGuard guard(m.m_setMutex);
        m.m_waiters.erase(std::find(m.m_waiters.begin(), m.m_waiters.end(), wake));
      }
      os::WakeSignalDispose(wake);
    }
  };
  {
    base::MutexGuard guard(m_setMutex);
    try {
      m_waiters.push_back(wake);
    } catch (...) {
      os::WakeSignalDispose(wake);
      throw;
    }
  }
  Registration registration{*this, wake};
  std::vector<void*> snapshot;
  for (;;) {
    {
      base::MutexGuard guard(m_setMutex);
      if (m_children.empty()) return QV_E_FAIL;  // nothing left to wait for
      snapshot.clear();
      for (uintptr_t child : m_children) snapshot.push_back(reinterpret_cast<void*>(child));
    }
    size_t index = 0;
    if (!os::ChildAwaitAny(snapshot, wake, &index)) return LastResult();
    if (index == snapshot.size()) continue;  // the set changed
    void* child = snapshot[index];
    bool ended = false;
    uint32_t code = 0;
    if (!os::ChildExitState(child, &ended, &code)) continue;  // reaped or detached meanwhile
    if (!ended || !Claim(child)) continue;
    os::ChildHandleClose(child);
    *process = child;
    if (exitCode != nullptr) *exitCode = code;
    return QV_S_OK;
  }
}

size_t CQVProcessManager::TrackedCount() {
  base::MutexGuard guard(m_setMutex);
  return m_children.size();
}

}  // namespace qv::process

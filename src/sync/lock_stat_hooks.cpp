#include "sync/lock_stat_hooks.h"

#include "base/installed.h"
#include "sync/lock_stat_manager.h"

namespace qv::sync {

// Without a manager (before the start, after the end) measured mutexes are
// not tracked and a destroyed one is released by its destroyer.
void LockStatRegisterLive(CQVMutex* mutex) noexcept {
  CQVLockStatManager* manager = base::Installed<CQVLockStatManager>::Get();
  if (manager == nullptr) return;
  try {
    manager->Register(CQVLockStatManager::kLiveMutex, mutex);
  } catch (...) {
    // The mutex works without being listed.
  }
}

bool LockStatRetire(CQVMutex* mutex) noexcept {
  CQVLockStatManager* manager = base::Installed<CQVLockStatManager>::Get();
  return manager != nullptr && manager->Retire(mutex);
}

}  // namespace qv::sync

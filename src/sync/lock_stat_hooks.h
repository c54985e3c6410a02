// Where measured mutexes meet the lock-statistics manager.
#pragma once
#include "sync/mutex.h"

namespace qv::sync {

// Registers a new measured mutex as live; failures are swallowed.
void LockStatRegisterLive(CQVMutex* mutex) noexcept;
// Hands a destroyed measured mutex, with the caller's reference, to the
// manager. False when there is no manager: the caller then releases.
bool LockStatRetire(CQVMutex* mutex) noexcept;

}  // namespace qv::sync

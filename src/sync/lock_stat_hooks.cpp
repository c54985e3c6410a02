#include "sync/lock_stat_hooks.h"

#include "core/global_data.h"

namespace qv::core {

// No lock-statistics manager exists in this build yet: measured mutexes are
// not tracked and a destroyed one is released by its destroyer.
void LockStatRegisterLive(CQVMutex*) noexcept {}

bool LockStatRetire(CQVMutex*) noexcept { return false; }

}  // namespace qv::core

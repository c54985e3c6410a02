#include <atomic>
#include <memory>

#include "base/boundary.h"
#include "sync/mutex.h"

namespace qv::sync {

namespace {
std::atomic<CQVMutexProvider::CreationObserver> s_observer{nullptr};
}

void CQVMutexProvider::SetCreationObserver(CreationObserver observer) noexcept { s_observer.store(observer); }

QVRESULT CQVMutexProvider::MakeMutex(const std::string& name, uint32_t flags, CQVMutex** out) noexcept {
  return base::Bounded([&]() -> QVRESULT {
    if (flags & QV_MUTEX_NOSTATS) flags &= ~QV_MUTEX_STATS;
    std::unique_ptr<CQVMutex> mutex;
    if (flags & (QV_MUTEX_CHECKED | QV_MUTEX_STATS)) mutex = std::make_unique<CQVCoreMutexChecked>(name, flags);
    else mutex = std::make_unique<CQVCoreMutexImpl>(name, flags);
    if (auto observer = s_observer.load()) observer(name.c_str());
    mutex->AddReference();
    *out = mutex.release();
    return QV_S_OK;
  });
}

}  // namespace qv::sync

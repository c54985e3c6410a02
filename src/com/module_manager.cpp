#include "com/module_manager.h"

#include "base/boundary.h"
#include "base/installed.h"
#include "base/mutex_guard.h"

namespace qv::com {

CQVModuleManager::CQVModuleManager() : m_setLock(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) {
  QVMutexCreate("CQVModuleManager::m_setLock", 0, &m_setLock);
}

CQVModuleManager::~CQVModuleManager() { QVMutexDestroy(m_setLock); }

void CQVModuleManager::Insert(QVMODULEID module) {
  base::MutexGuard guard(m_setLock);
  m_modules.insert(module);
}

void CQVModuleManager::Remove(QVMODULEID module) {
  base::MutexGuard guard(m_setLock);
  m_modules.erase(module);
}

bool CQVModuleManager::Contains(QVMODULEID module) {
  base::MutexGuard guard(m_setLock);
  return m_modules.count(module) != 0;
}

}  // namespace qv::com

extern "C" QV_API QVRESULT QVModuleSetInitialized(QVMODULEID module, int32_t initialized) {
  using namespace qv::com;
  namespace base = qv::base;
  return base::Bounded([&] {
    CQVModuleManager* manager = base::Installed<CQVModuleManager>::Get();
    if (manager == nullptr) return QV_E_FAIL;  // library not started
    if (initialized != 0) manager->Insert(module);
    else manager->Remove(module);
    return QV_S_OK;
  });
}

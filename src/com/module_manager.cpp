#include "com/module_manager.h"

#include "core/boundary.h"
#include "core/global_data.h"
#include "core/mutex_guard.h"

namespace qv::core {

CQVModuleManager::CQVModuleManager() : m_setLock(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) {
  QVMutexCreate("CQVModuleManager::m_setLock", 0, &m_setLock);
}

CQVModuleManager::~CQVModuleManager() { QVMutexDestroy(m_setLock); }

void CQVModuleManager::Insert(QVMODULEID module) {
  MutexGuard guard(m_setLock);
  m_modules.insert(module);
}

void CQVModuleManager::Remove(QVMODULEID module) {
  MutexGuard guard(m_setLock);
  m_modules.erase(module);
}

bool CQVModuleManager::Contains(QVMODULEID module) {
  MutexGuard guard(m_setLock);
  return m_modules.count(module) != 0;
}

}  // namespace qv::core

extern "C" QV_API QVRESULT QVModuleSetInitialized(QVMODULEID module, int32_t initialized) {
  using namespace qv::core;
  return Bounded([&] {
    CQVModuleManager* manager = GlobalData().m_moduleManager;
    if (manager == nullptr) return QV_E_FAIL;  // library not started
    if (initialized != 0) manager->Insert(module);
    else manager->Remove(module);
    return QV_S_OK;
  });
}

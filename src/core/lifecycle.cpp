#include "core/lifecycle.h"

#include <new>

#include "base/boundary.h"
#include "base/installed.h"
#include "base/library_state.h"
#include "com/component_allocator.h"
#include "com/factory_manager.h"
#include "com/module_manager.h"
#include "core/client_data.h"
#include "core/global_data.h"
#include "os/os_entry.h"
#include "os/os_locale.h"
#include "os/os_object_name.h"
#include "process/process_manager.h"
#include "process/thread_manager.h"
#include "process/time.h"
#include "sync/lock_stat_manager.h"
#include "sync/mutex.h"

namespace qv::core {

namespace {


int32_t s_attachCount = 0;
CQVGlobalData s_globalData;

// Lower layers reach the managers through their slots, not through this record.
void Publish(const CQVGlobalData& gd) noexcept {
  base::Installed<sync::CQVMutexProvider>::Set(gd.m_mutexProvider);
  base::Installed<sync::CQVLockStatManager>::Set(gd.m_lockStatManager);
  base::Installed<com::CQVModuleManager>::Set(gd.m_moduleManager);
  base::Installed<process::CQVProcessManager>::Set(gd.m_clientData ? gd.m_clientData->ProcessManager() : nullptr);
  base::Installed<process::CQVThreadManager>::Set(gd.m_clientData ? gd.m_clientData->ThreadManager() : nullptr);
  base::Installed<com::CQVFactoryManager>::Set(gd.m_clientData ? gd.m_clientData->FactoryManager() : nullptr);
  base::Installed<com::CQVComponentAllocator>::Set(gd.m_componentAllocator);
}

void BuildGlobalData(CQVGlobalData& gd) {
  auto* provider = new sync::CQVMutexProvider();
  provider->AddReference();
  gd.m_mutexProvider = provider;
  Publish(gd);  // the mutexes created below need the provider
  gd.m_lockStatManager = new sync::CQVLockStatManager();
  Publish(gd);
  gd.m_debugMutex = new DebugMutexCell();
  base::ThrowIfFailed(QVMutexCreate("CQVGlobalData::m_debugMutex", QV_MUTEX_NOSTATS, &gd.m_debugMutex->handle));
  gd.m_moduleManager = new com::CQVModuleManager();
  gd.m_clientData = new CQVClientData();
  Publish(gd);
}

void ObtainComponentAllocator(CQVGlobalData& gd) {
  auto* allocator = new (std::nothrow) com::CQVComponentAllocator();
  if (allocator == nullptr) return;  // its result is not reported
  allocator->AddReference();
  gd.m_componentAllocator = allocator;
  Publish(gd);
}

void TearDownGlobalData(CQVGlobalData& gd) {
  Publish(CQVGlobalData{});
  if (gd.m_componentAllocator != nullptr && gd.m_componentAllocator->ReleaseReference() == 0) {
    gd.m_componentAllocator = nullptr;
  }
  // Library threads may still be marking themselves finished in the thread
  // manager; if one does not get through in time, the client record is left
  // alive rather than freed under it.
  if (process::StopFinishing()) {
    delete gd.m_clientData;
    gd.m_clientData = nullptr;
  }
  delete gd.m_moduleManager;
  gd.m_moduleManager = nullptr;
  if (gd.m_debugMutex != nullptr) {
    QVMUTEX handle = gd.m_debugMutex->handle;
    gd.m_debugMutex->handle = reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE);
    if (handle != reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) QVMutexDestroy(handle);
    delete gd.m_debugMutex;
    gd.m_debugMutex = nullptr;
  }
  if (gd.m_mutexProvider != nullptr) {
    gd.m_mutexProvider->ReleaseReference();
    gd.m_mutexProvider = nullptr;
  }
  // Last, because its teardown lets go of the destroyed measured mutexes.
  if (sync::CQVLockStatManager* manager = gd.m_lockStatManager) {
    gd.m_lockStatManager = nullptr;
    delete manager;
  }
}

// The entry routine the platform would call; its address is the library's
// module identifier.
int QVCoreEntryRoutine(void* /*module*/, uint32_t reason, void* /*reserved*/) noexcept {
  if (reason == os::kEntryProcessAttach) {
    LibraryStart();
    QVModuleSetInitialized(OwnModuleId(), 1);
  } else if (reason == os::kEntryProcessDetach) {
    QVModuleSetInitialized(OwnModuleId(), 0);
    LibraryEnd();
  }
  return 1;
}

}  // namespace

int LibraryEntry(void* module, uint32_t reason, void* reserved) noexcept {
  return QVCoreEntryRoutine(module, reason, reserved);
}

CQVGlobalData& GlobalData() noexcept { return s_globalData; }

QVMUTEX DebugMutex() noexcept {
  DebugMutexCell* cell = s_globalData.m_debugMutex;
  if (cell == nullptr || cell->handle == reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) return nullptr;
  return cell->handle;
}

int32_t AttachCount() noexcept { return s_attachCount; }
QVMODULEID OwnModuleId() noexcept { return reinterpret_cast<QVMODULEID>(&QVCoreEntryRoutine); }

void LibraryStart() noexcept {
  if (++s_attachCount != 1) return;
  os::ApplyUserLocale();
  base::MarkLibraryInitialized();
  process::ChooseSystemTimeSource();
  process::AllowFinishing();
  os::ReclaimOrphanedObjects();
  QVRESULT built = base::Bounded([] {
    BuildGlobalData(s_globalData);
    return QV_S_OK;
  });
  if (built < 0) return;  // partly started: what was built stays
  ObtainComponentAllocator(s_globalData);
}

QVRESULT LibraryEnd() noexcept {
  if (s_attachCount <= 0) return QV_E_FAIL;
  if (--s_attachCount != 0) return QV_S_OK;
  base::Bounded([] {
    TearDownGlobalData(s_globalData);
    return QV_S_OK;
  });
  return QV_S_OK;
}

}  // namespace qv::core

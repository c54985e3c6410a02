#include "core/lifecycle.h"

#include <clocale>
#include <cstring>

#include "com/module_manager.h"
#include "core/boundary.h"
#include "core/client_data.h"
#include "core/global_data.h"
#include "os/os_object_name.h"
#include "process/thread_manager.h"
#include "sync/lock_stat_manager.h"
#include "sync/mutex.h"

namespace qv::core {

namespace {

enum EntryReason : uint32_t { kProcessDetach = 0, kProcessAttach = 1, kThreadAttach = 2, kThreadDetach = 3 };

int32_t s_attachCount = 0;
bool s_libraryInitialized = false;
os::SystemTimeFunction s_systemTimeSource = nullptr;
CQVGlobalData s_globalData;

// The user's default locale for all categories. When the environment names no
// usable locale (unset, "C"/"POSIX", or not installed), character handling
// falls back to C.UTF-8 so that narrow text is UTF-8, as on any current
// Linux desktop, rather than 7-bit ASCII.
void ApplyUserLocale() noexcept {
  const char* applied = std::setlocale(LC_ALL, "");
  if (applied == nullptr || std::strcmp(applied, "C") == 0 || std::strcmp(applied, "POSIX") == 0) {
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    if (ctype == nullptr || std::strcmp(ctype, "C") == 0 || std::strcmp(ctype, "POSIX") == 0)
      std::setlocale(LC_CTYPE, "C.UTF-8");
  }
}

void BuildGlobalData(CQVGlobalData& gd) {
  auto* provider = new CQVMutexProvider();
  provider->AddReference();
  gd.m_mutexProvider = provider;
  gd.m_lockStatManager = new CQVLockStatManager();
  gd.m_debugMutex = new DebugMutexCell();
  ThrowIfFailed(QVMutexCreate("CQVGlobalData::m_debugMutex", QV_MUTEX_NOSTATS, &gd.m_debugMutex->handle));
  gd.m_moduleManager = new CQVModuleManager();
  gd.m_clientData = new CQVClientData();
}

void TearDownGlobalData(CQVGlobalData& gd) {
  // Library threads may still be marking themselves finished in the thread
  // manager; if one does not get through in time, the client record is left
  // alive rather than freed under it.
  if (StopFinishing()) {
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
  if (CQVLockStatManager* manager = gd.m_lockStatManager) {
    gd.m_lockStatManager = nullptr;
    delete manager;
  }
}

// The entry routine the platform would call; its address is the library's
// module identifier.
int QVCoreEntryRoutine(void* /*module*/, uint32_t reason, void* /*reserved*/) noexcept {
  if (reason == kProcessAttach) {
    LibraryStart();
    QVModuleSetInitialized(OwnModuleId(), 1);
  } else if (reason == kProcessDetach) {
    QVModuleSetInitialized(OwnModuleId(), 0);
    LibraryEnd();
  }
  return 1;
}

__attribute__((constructor)) void OnLoad() { QVCoreEntryRoutine(nullptr, kProcessAttach, nullptr); }
__attribute__((destructor)) void OnUnload() { QVCoreEntryRoutine(nullptr, kProcessDetach, nullptr); }

}  // namespace

CQVGlobalData& GlobalData() noexcept { return s_globalData; }

QVMUTEX DebugMutex() noexcept {
  DebugMutexCell* cell = s_globalData.m_debugMutex;
  if (cell == nullptr || cell->handle == reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) return nullptr;
  return cell->handle;
}

int32_t AttachCount() noexcept { return s_attachCount; }
bool LibraryInitialized() noexcept { return s_libraryInitialized; }
os::SystemTimeFunction SystemTimeSource() noexcept { return s_systemTimeSource; }
QVMODULEID OwnModuleId() noexcept { return reinterpret_cast<QVMODULEID>(&QVCoreEntryRoutine); }

void LibraryStart() noexcept {
  if (++s_attachCount != 1) return;
  ApplyUserLocale();
  s_libraryInitialized = true;
  s_systemTimeSource = os::ChooseSystemTimeFunction();
  AllowFinishing();
  os::ReclaimOrphanedObjects();
  QVRESULT built = Bounded([] {
    BuildGlobalData(s_globalData);
    return QV_S_OK;
  });
  if (built < 0) return;  // partly started: what was built stays
  // The component allocator is obtained here once components exist.
}

QVRESULT LibraryEnd() noexcept {
  if (s_attachCount <= 0) return QV_E_FAIL;
  if (--s_attachCount != 0) return QV_S_OK;
  Bounded([] {
    TearDownGlobalData(s_globalData);
    return QV_S_OK;
  });
  return QV_S_OK;
}

}  // namespace qv::core

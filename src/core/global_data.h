// The process-wide record, built at library start in a fixed order and torn
// down in the reverse order at the end.
#pragma once
#include "qvcore5/qv_mutex.h"

namespace qv::sync {
class CQVMutexProvider;
class CQVLockStatManager;
}  // namespace qv::sync
namespace qv::com {
class CQVModuleManager;
class CQVComponentAllocator;
}  // namespace qv::com

namespace qv::core {

class CQVClientData;

struct DebugMutexCell {
  QVMUTEX handle = reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE);
};

struct CQVGlobalData {
  DebugMutexCell* m_debugMutex = nullptr;
  sync::CQVLockStatManager* m_lockStatManager = nullptr;
  CQVClientData* m_clientData = nullptr;
  com::CQVModuleManager* m_moduleManager = nullptr;
  sync::CQVMutexProvider* m_mutexProvider = nullptr;
  com::CQVComponentAllocator* m_componentAllocator = nullptr;
};

CQVGlobalData& GlobalData() noexcept;

// The debug mutex, or null when it does not exist.
QVMUTEX DebugMutex() noexcept;

}  // namespace qv::core

// The client record: the managers that serve the library's callers. Its
// members are built in declaration order and destroyed in reverse.
#pragma once
#include "base/refcounted.h"
#include "com/factory_manager.h"
#include "process/process_manager.h"
#include "process/thread_manager.h"

namespace qv::core {

class CQVClientData : public base::CQVCoreRefCounted {
 public:
  CQVClientData();
  ~CQVClientData() override;

  process::CQVProcessManager* ProcessManager() noexcept { return &m_processManager; }
  process::CQVThreadManager* ThreadManager() noexcept { return &m_threadManager; }
  com::CQVFactoryManager* FactoryManager() noexcept { return &m_factoryManager; }

 private:
  // Built in this order: the process manager comes before the thread
  // manager, the dynamic-library member and the class factory after it.
  process::CQVProcessManager m_processManager;
  process::CQVThreadManager m_threadManager;
  // The dynamic-library functions keep no state, so their member is empty.
  com::CQVFactoryManager m_factoryManager;
};

}  // namespace qv::core

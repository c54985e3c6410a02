// The client record: the managers that serve the library's callers. Its
// members are built in declaration order and destroyed in reverse.
#pragma once
#include "core/refcounted.h"
#include "process/thread_manager.h"

namespace qv::core {

class CQVClientData : public CQVCoreRefCounted {
 public:
  CQVClientData();
  ~CQVClientData() override;

  CQVThreadManager* ThreadManager() noexcept { return &m_threadManager; }

 private:
  // Members, in this order, as their subsystems arrive: the process manager
  // (before the thread manager), the thread manager, the dynamic-library
  // member, the class factory manager.
  CQVThreadManager m_threadManager;
};

}  // namespace qv::core

// The client record: the managers that serve the library's callers. Its
// members are built in declaration order and destroyed in reverse.
#pragma once
#include "core/refcounted.h"

namespace qv::core {

class CQVClientData : public CQVCoreRefCounted {
 public:
  CQVClientData();
  ~CQVClientData() override;
  // Members, in this order, as their subsystems arrive: the process manager,
  // the thread manager, the dynamic-library member, the class factory manager.
};

}  // namespace qv::core

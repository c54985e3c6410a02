// The set of modules (libraries using this one) that are initialized.
#pragma once
#include <set>

#include "qvcore5/qv_module.h"
#include "qvcore5/qv_mutex.h"

namespace qv::com {

class CQVModuleManager {
 public:
  CQVModuleManager();
  ~CQVModuleManager();
  CQVModuleManager(const CQVModuleManager&) = delete;
  CQVModuleManager& operator=(const CQVModuleManager&) = delete;

  void Insert(QVMODULEID module);
  void Remove(QVMODULEID module);
  bool Contains(QVMODULEID module);

 private:
  QVMUTEX m_setLock;
  std::set<QVMODULEID> m_modules;
};

}  // namespace qv::com

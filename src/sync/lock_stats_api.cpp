// The exported lock-statistics functions.
#include <algorithm>
#include <string>

#include "base/handle.h"
#include "base/installed.h"
#include "base/wide.h"
#include "qvcore5/qv_lockstats.h"
#include "sync/lock_stat_manager.h"

using namespace qv::sync;
namespace base = qv::base;

extern "C" {

QV_API QVRESULT QVGetLockStats(QVMUTEX mutex, QVLockStats* stats) {
  return base::BoundedOnHandle<CQVMutex>(mutex, [&](CQVMutex& m) {
    return stats != nullptr ? m.GetLockStats(stats) : QV_E_INVALIDARG;
  });
}

QV_API QVRESULT QVResetLockStats(void) {
  if (CQVLockStatManager* manager = base::Installed<CQVLockStatManager>::Get()) manager->Reset();
  return QV_S_OK;
}

QV_API QVRESULT QVDumpLockStats(const char* label, const QVWCHAR* fileName) {
  return base::Bounded([&]() -> QVRESULT {
    CQVLockStatManager* manager = base::Installed<CQVLockStatManager>::Get();
    if (manager == nullptr) return QV_E_FAIL;  // library not started
    std::u16string_view name = QV_W("qvlockstats.csv");
    if (fileName != nullptr) name = qv::Wide(fileName);
    return manager->Dump(label != nullptr ? label : "LockStatsDump", name);
  });
}

}  // extern "C"

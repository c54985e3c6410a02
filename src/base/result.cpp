#include "base/exception.h"
#include "os/os_error.h"

extern "C" QV_API QVRESULT QVResultFromNative(uint32_t nativeError) {
  switch (nativeError) {
    case 0: return QV_S_OK;
    case 2:
    case 3: return QV_E_NOTFOUND;
    case 5: return QV_E_ACCESSDENIED;
    case 6: return QV_E_HANDLE;
    case 14: return QV_E_OUTOFMEMORY;
    case 183: return QV_E_EXISTS;
    case 258: return QV_E_TIMEOUT;
    default: return QV_E_FAIL;
  }
}

namespace qv::base {

void ThrowResult(QVRESULT code) { throw EQVCoreException(code); }

void ThrowLastError() { throw EQVCoreException(QVResultFromNative(os::GetLastError())); }

}  // namespace qv::base

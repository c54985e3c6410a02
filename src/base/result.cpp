#include "base/exception.h"
#include "os/os_error.h"

extern "C" QV_API QVRESULT QVResultFromNative(uint32_t nativeError) {
  using namespace qv::os;
  switch (nativeError) {
    case kErrorSuccess: return QV_S_OK;
    case kErrorFileNotFound:
    case kErrorPathNotFound: return QV_E_NOTFOUND;
    case kErrorAccessDenied: return QV_E_ACCESSDENIED;
    case kErrorInvalidHandle: return QV_E_HANDLE;
    case kErrorOutOfMemory: return QV_E_OUTOFMEMORY;
    case kErrorAlreadyExists: return QV_E_EXISTS;
    case kErrorWaitTimeout: return QV_E_TIMEOUT;
    default: return QV_E_FAIL;
  }
}

namespace qv::base {

void ThrowResult(QVRESULT code) { throw EQVCoreException(code); }

QVRESULT LastErrorResult() noexcept { return QVResultFromNative(os::LastError()); }

void ThrowLastError() { throw EQVCoreException(LastErrorResult()); }

}  // namespace qv::base

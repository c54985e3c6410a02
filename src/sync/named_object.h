// Failures of machine-wide objects (named semaphores, shared memory).
#pragma once
#include "base/exception.h"
#include "os/os_error.h"

namespace qv::sync {

// A name too long for the platform is the caller's bad argument rather than
// a platform failure; everything else maps as usual.
inline QVRESULT NamedObjectFailure() noexcept {
  return os::GetLastError() == os::kErrorFilenameTooLong ? QV_E_INVALIDARG : base::LastErrorResult();
}

}  // namespace qv::sync

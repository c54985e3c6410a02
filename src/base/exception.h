// The one internal exception type: it carries a result code to the boundary.
#pragma once
#include "qvcore5/qv_base.h"

namespace qv::base {

class EQVCoreException {
 public:
  explicit EQVCoreException(QVRESULT code) noexcept : m_code(code) {}
  QVRESULT Code() const noexcept { return m_code; }

 private:
  QVRESULT m_code;
};

[[noreturn]] void ThrowResult(QVRESULT code);
// QVResultFromNative of the platform's last error.
QVRESULT LastErrorResult() noexcept;
// Throws LastErrorResult().
[[noreturn]] void ThrowLastError();
// Throws when code is a failure.
inline void ThrowIfFailed(QVRESULT code) {
  if (code < 0) ThrowResult(code);
}

}  // namespace qv::base

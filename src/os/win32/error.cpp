// Error numbers are the Windows ones. The library keeps the last error in a
// variable of its own: with the compiler's emulated thread-local storage,
// reading any thread_local variable clears the thread's Windows last error,
// so GetLastError cannot carry a failure from the backend to the caller.
// Every backend failure stores the Windows error at once (StoreNativeError),
// and a store also sets the Windows value for callers that read it natively.
#include <windows.h>

#include "os/os_error.h"
#include "os/win32/wide_text.h"

namespace qv::os {

static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS && kErrorTooManyPosts == ERROR_TOO_MANY_POSTS &&
                  kErrorInvalidAddress == ERROR_INVALID_ADDRESS && kErrorTimeout == ERROR_TIMEOUT &&
                  kErrorNoUnicodeTranslation == ERROR_NO_UNICODE_TRANSLATION &&
                  kErrorPossibleDeadlock == ERROR_POSSIBLE_DEADLOCK && kErrorEnvVarNotFound == ERROR_ENVVAR_NOT_FOUND,
              "the neutral error numbers are the Windows ones");

namespace {
thread_local uint32_t t_lastError = 0;
}  // namespace

uint32_t LastError() noexcept { return t_lastError; }

void StoreLastError(uint32_t error) noexcept {
  t_lastError = error;
  ::SetLastError(error);
}

namespace win32 {
bool StoreNativeError() noexcept {
  const DWORD error = ::GetLastError();
  StoreLastError(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
  return false;
}
}  // namespace win32

}  // namespace qv::os

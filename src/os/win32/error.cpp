// The last error is the thread's own Windows last error: platform calls set
// it, and the library's own failures use the same numbers.
#include <windows.h>

#include "os/os_error.h"

namespace qv::os {

static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS && kErrorTooManyPosts == ERROR_TOO_MANY_POSTS &&
                  kErrorInvalidAddress == ERROR_INVALID_ADDRESS && kErrorTimeout == ERROR_TIMEOUT &&
                  kErrorNoUnicodeTranslation == ERROR_NO_UNICODE_TRANSLATION &&
                  kErrorPossibleDeadlock == ERROR_POSSIBLE_DEADLOCK && kErrorEnvVarNotFound == ERROR_ENVVAR_NOT_FOUND,
              "the neutral error numbers are the Windows ones");

uint32_t LastError() noexcept { return ::GetLastError(); }
void StoreLastError(uint32_t error) noexcept { ::SetLastError(error); }

}  // namespace qv::os

#include "os/os_error.h"
#include "os/posix/errno_map.h"

#include <cerrno>

namespace qv::os {

namespace {
// initial-exec keeps the access a plain TLS load; the library is loaded with
// the program, so the static TLS block always has room for it.
__attribute__((tls_model("initial-exec"))) thread_local uint32_t t_lastError = 0;
}  // namespace

uint32_t LastError() noexcept { return t_lastError; }
void StoreLastError(uint32_t error) noexcept { t_lastError = error; }

uint32_t ErrorFromErrno(int err) noexcept {
  switch (err) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorOutOfMemory;
    case EXDEV: return kErrorNotSameDevice;
    case EROFS: return kErrorWriteProtect;
    case ETXTBSY: return kErrorSharingViolation;
    case ENOLCK: return kErrorLockViolation;
    case ENOSYS:
    case EOPNOTSUPP: return kErrorNotSupported;
    case EINVAL:
    case E2BIG:
    case EDOM:
    case ERANGE: return kErrorInvalidParameter;
    case EPIPE: return kErrorBrokenPipe;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case ECHILD: return kErrorWaitNoChildren;
    case ESPIPE: return kErrorNegativeSeek;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EBUSY:
    case EAGAIN: return kErrorBusy;
    case EEXIST: return kErrorAlreadyExists;
    case ENOEXEC: return kErrorBadExeFormat;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case EFBIG:
    case EOVERFLOW: return kErrorFileTooLarge;
    case ETIMEDOUT: return kErrorTimeout;
    case ECANCELED:
    case EINTR: return kErrorOperationAborted;
    default: return kErrorGenFailure;
  }
}

uint32_t StoreLastErrorFromErrno(int err) noexcept {
  uint32_t e = ErrorFromErrno(err);
  t_lastError = e;
  return e;
}

}  // namespace qv::os

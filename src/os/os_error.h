// Platform error numbers (Windows numbering on every platform) and the
// thread-local last error that the platform layer reports failures through.
#pragma once
#include <cstdint>

namespace qv::os {

enum : uint32_t {
  kErrorSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorOutOfMemory = 14,
  kErrorNotSameDevice = 17,
  kErrorNoMoreFiles = 18,
  kErrorWriteProtect = 19,
  kErrorGenFailure = 31,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorHandleEof = 38,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorBrokenPipe = 109,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorModNotFound = 126,
  kErrorProcNotFound = 127,
  kErrorWaitNoChildren = 128,
  kErrorNegativeSeek = 131,
  kErrorDirNotEmpty = 145,
  kErrorNotLocked = 158,
  kErrorBusy = 170,
  kErrorAlreadyExists = 183,
  kErrorEnvVarNotFound = 203,
  kErrorBadExeFormat = 193,
  kErrorFilenameTooLong = 206,
  kErrorFileTooLarge = 223,
  kErrorNotADirectory = 267,
  kErrorMoreData = 234,
  kErrorWaitTimeout = 258,
  kErrorNoMoreItems = 259,
  kErrorTooManyPosts = 298,
  kErrorInvalidAddress = 487,
  kErrorOperationAborted = 995,
  kErrorBadDatabase = 1009,
  kErrorRegistryIo = 1016,
  kErrorKeyDeleted = 1018,
  kErrorNoUnicodeTranslation = 1113,
  kErrorPossibleDeadlock = 1131,
  kErrorTimeout = 1460,
};

uint32_t LastError() noexcept;
void StoreLastError(uint32_t error) noexcept;

}  // namespace qv::os

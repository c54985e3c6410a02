#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "os/os_error.h"
#include "os/posix/errno_map.h"
#include "qvcore5/qvcore.h"

using namespace qv::os;

TEST(PlatformErrors, ErrnoMapsToWindowsNumbersAndOnToResultCodes) {
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(ENOENT)), QV_E_NOTFOUND);
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(ENOTDIR)), QV_E_NOTFOUND);
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(EACCES)), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(EPERM)), QV_E_ACCESSDENIED);
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(EBADF)), QV_E_HANDLE);
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(ENOMEM)), QV_E_OUTOFMEMORY);
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(EEXIST)), QV_E_EXISTS);
  EXPECT_EQ(ErrorFromErrno(ENOTDIR), kErrorPathNotFound);
  EXPECT_EQ(ErrorFromErrno(EINVAL), kErrorInvalidParameter);
  EXPECT_EQ(ErrorFromErrno(ETIMEDOUT), kErrorTimeout);
  EXPECT_EQ(ErrorFromErrno(0), kErrorSuccess);
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(EHOSTDOWN)), QV_E_FAIL);  // not in any table
}

TEST(PlatformErrors, LastErrorIsPerThread) {
  SetLastErrorFromErrno(ENOENT);
  uint32_t other = 12345;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  SetLastError(0);
}

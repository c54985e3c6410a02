#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "os/os_error.h"
#include "os/posix/errno_map.h"
#include "qvcore5/qvcore.h"

using namespace qv::os;

TEST(PlatformErrors, ErrnoMapsToWindowsNumbersAndOnToResultCodes) {
  const std::pair<int, QVRESULT> table[] = {{ENOENT, QV_E_NOTFOUND}, {ENOTDIR, QV_E_NOTFOUND}, {EACCES, QV_E_ACCESSDENIED},
                                            {EPERM, QV_E_ACCESSDENIED}, {EBADF, QV_E_HANDLE},     {ENOMEM, QV_E_OUTOFMEMORY},
                                            {EEXIST, QV_E_EXISTS}};
  for (auto [error, result] : table) EXPECT_EQ(QVResultFromNative(ErrorFromErrno(error)), result) << error;
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

// The exact result codes for bad input to the synchronization
// functions, and the empty names allowed for named objects.
#include <gtest/gtest.h>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/xproc.h"

namespace {

constexpr QVRESULT kMappedPlatformError = static_cast<QVRESULT>(0x80004005);

TEST(SyncResultCodes, MutexDestroyOfNoHandleReturnsZero) {
  EXPECT_EQ(QVMutexDestroy(nullptr), 0);
  EXPECT_EQ(QVMutexDestroy(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)), 0);
}

TEST(SyncResultCodes, SemaphoreCountOutOfRangeGivesMappedPlatformError) {
  struct Case {
    int32_t count;
    uint32_t flags;
  };
  std::string name = qvtest::UniqueName("semcount");
  for (Case c : {Case{-1, 0}, Case{QV_SEM_MAX_COUNT + 1, 0}, Case{INT32_MIN, 0}, Case{-1, QV_SEM_NAMED},
                 Case{QV_SEM_MAX_COUNT + 1, QV_SEM_NAMED}}) {
    QVSEMAPHORE s = nullptr;
    EXPECT_EQ(QVSemaphoreCreate(c.count, name.c_str(), c.flags, &s), kMappedPlatformError) << c.count;
    EXPECT_EQ(s, reinterpret_cast<QVSEMAPHORE>(QV_INVALID_HANDLE));
  }
  QVSEMAPHORE s = nullptr;
  EXPECT_EQ(QVNamedSemOpen(name.c_str(), -1, &s), kMappedPlatformError);
  EXPECT_FALSE(qvtest::ObjectExists(name));
  ASSERT_EQ(QVSemaphoreCreate(QV_SEM_MAX_COUNT, nullptr, 0, &s), QV_S_OK);  // the bounds themselves are fine
  QVSemaphoreDestroy(s);
}

TEST(SyncResultCodes, CreatingAnEmptySectionGivesMappedPlatformError) {
  std::string name = qvtest::UniqueName("shmzero");
  QVHANDLE h = nullptr;
  EXPECT_EQ(QVSharedMemOpen(name.c_str(), QV_SHM_CREATE, 0, 0, &h), kMappedPlatformError);
  EXPECT_EQ(h, QV_INVALID_HANDLE);
  EXPECT_FALSE(qvtest::ObjectExists(name));
}

TEST(SyncResultCodes, NullAndEmptyNamesNameTheSameNamedSemaphore) {
  QVSEMAPHORE a, b, c;
  ASSERT_EQ(QVNamedSemOpen(nullptr, 0, &a), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen("", 0, &b), QV_S_OK);
  ASSERT_EQ(QVSemaphoreCreate(0, nullptr, QV_SEM_NAMED, &c), QV_S_OK);
  EXPECT_EQ(QVNamedSemPost(a), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(b), QV_S_OK);  // the unit posted through the other handle
  EXPECT_EQ(QVNamedSemPost(c), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(a), QV_S_OK);
  QVNamedSemClose(a);
  QVNamedSemClose(b);
  QVNamedSemClose(c);
}

TEST(SyncResultCodes, NullAndEmptyNamesNameTheSameSection) {
  QVHANDLE a, b;
  QVRESULT created = QVSharedMemOpen(nullptr, QV_SHM_CREATE | QV_SHM_READ | QV_SHM_WRITE, 0, 64, &a);
  ASSERT_GE(created, 0);
  ASSERT_EQ(QVSharedMemOpen("", QV_SHM_READ | QV_SHM_WRITE, 0, 0, &b), QV_S_OK);  // exists now
  void *viewA = nullptr, *viewB = nullptr;
  ASSERT_EQ(QVSharedMemAttach(a, QV_SHM_WRITE, &viewA), QV_S_OK);
  ASSERT_EQ(QVSharedMemAttach(b, QV_SHM_WRITE, &viewB), QV_S_OK);
  static_cast<volatile char*>(viewA)[5] = 'q';
  EXPECT_EQ(static_cast<volatile char*>(viewB)[5], 'q');
  QVSharedMemDetach(viewA);
  QVSharedMemDetach(viewB);
  QVSharedMemClose(a);
  QVSharedMemClose(b);
}

}  // namespace

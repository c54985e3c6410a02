#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "base/boundary.h"
#include "os/os_error.h"
#if !defined(_WIN32)
#include "os/posix/errno_map.h"
#endif
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

using namespace qv::os;
using namespace qv::base;

TEST(Results, NativeAndErrnoNumbersMapExactlyAndLastErrorIsPerThread) {
  const std::pair<uint32_t, QVRESULT> table[] = {{0, 0}, {2, QV_E_NOTFOUND}, {3, QV_E_NOTFOUND}, {5, QV_E_ACCESSDENIED},
      {6, QV_E_HANDLE}, {14, QV_E_OUTOFMEMORY}, {183, QV_E_EXISTS}, {258, QV_E_TIMEOUT}};
  for (auto [native, result] : table) EXPECT_EQ(QVResultFromNative(native), result) << native;
  // Everything else is the generic failure, never facility 7.
  for (uint32_t n : {1u, 4u, 8u, 87u, 259u, 1460u, 0xFFFFFFFFu}) EXPECT_EQ(QVResultFromNative(n), QV_E_FAIL) << n;
#if !defined(_WIN32)  // the errno table is the POSIX backend's
  const std::pair<int, uint32_t> errnos[] = {{ENOENT, kErrorFileNotFound}, {ENOTDIR, kErrorPathNotFound}, {EACCES, 5},
      {EPERM, 5}, {EBADF, 6}, {ENOMEM, 14}, {EEXIST, 183}, {EINVAL, kErrorInvalidParameter}, {ETIMEDOUT, kErrorTimeout},
      {0, kErrorSuccess}};
  for (auto [error, native] : errnos) EXPECT_EQ(ErrorFromErrno(error), native) << error;
  EXPECT_EQ(QVResultFromNative(ErrorFromErrno(EHOSTDOWN)), QV_E_FAIL);  // not in any table
  StoreLastErrorFromErrno(ENOENT);
#else
  StoreLastError(kErrorFileNotFound);
#endif
  uint32_t other = 12345;
  std::thread([&] { other = LastError(); }).join();
  EXPECT_EQ(std::pair(other, LastError()), std::pair(0u, uint32_t{kErrorFileNotFound}));
  StoreLastError(0);
}

TEST(ErrorBoundary, TurnsEachKindOfExceptionIntoItsCode) {
  EXPECT_EQ(Bounded([]() -> QVRESULT { throw EQVCoreException(QV_E_EOF); }), QV_E_EOF);
  EXPECT_EQ(Bounded([]() -> QVRESULT { throw std::bad_alloc(); }), QV_E_OUTOFMEMORY);
  EXPECT_EQ(Bounded([]() -> QVRESULT { throw std::length_error("x"); }), QV_E_FAIL);
  EXPECT_EQ(Bounded([]() -> QVRESULT { throw 42; }), QV_E_FAIL);
  EXPECT_EQ(Bounded([] { return QVRESULT{7}; }), 7);
  void* out = nullptr;
  EXPECT_EQ(BoundedOut(&out, QV_INVALID_HANDLE, []() -> QVRESULT { throw EQVCoreException(QV_E_ACCESSDENIED); }),
            QV_E_ACCESSDENIED);
  EXPECT_EQ(out, QV_INVALID_HANDLE);  // the empty value, even when the body fails
  EXPECT_EQ(QVMutexCreate("x", 0, nullptr), QV_E_INVALIDARG);
}

TEST(Memory, OneHeapForAllCallsReallocToZeroAndBadArguments) {
  void *a = nullptr, *b = nullptr;
  ASSERT_EQ(QVMalloc(10, &a), QV_S_OK);
  EXPECT_GE(QVMallocSize(a), 10u);
  ASSERT_EQ(QVCalloc(4, 8, &b), QV_S_OK);
  EXPECT_EQ(std::vector<char>(static_cast<char*>(b), static_cast<char*>(b) + 32), std::vector<char>(32));
  ASSERT_EQ(QVRealloc(&a, 100), QV_S_OK);  // a block from one call may go to any other
  EXPECT_EQ(QVFree(a), 0);
  EXPECT_EQ(QVRealloc(&b, 0), QV_S_OK);  // frees and nulls
  EXPECT_EQ(b, nullptr);
  ASSERT_EQ(QVRealloc(&b, 8), QV_S_OK);  // null grows like a fresh allocation
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(QVFree(b) + QVFree(nullptr) + QVMallocSize(nullptr), 0u);
  for (auto [n, size] : {std::pair{0x10000u, 0x10001u}, std::pair{0xFFFFFFFFu, 0xFFFFFFFFu}}) {
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(QVCalloc(n, size, &p), QV_E_OUTOFMEMORY);  // product beyond 32 bits
    EXPECT_EQ(p, nullptr);
  }
  for (QVRESULT r : {QVMalloc(10, nullptr), QVCalloc(1, 1, nullptr), QVRealloc(nullptr, 1), QVRecalloc(nullptr, 1)})
    EXPECT_EQ(r, QV_E_INVALIDARG);
}

// POSIX only (fork and an address-space limit); both sanitizers reserve huge shadow memory.
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A child process with a small address-space limit, so the heap must refuse.
TEST(Memory, ReallocThatCannotGrowKeepsTheOldBlock) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    void *p = nullptr, *q = nullptr;
    if (QVMalloc(16, &p) != QV_S_OK) _exit(10);
    std::memcpy(p, "keep-me", 8);
    void* before = p;
    rlimit limit{512u << 20, 512u << 20};
    setrlimit(RLIMIT_AS, &limit);
    if (QVRealloc(&p, 0xFFFFFFF0u) != QV_E_OUTOFMEMORY || p != before || std::strcmp((char*)p, "keep-me")) _exit(11);
    if (QVRecalloc(&p, 0xFFFFFFF0u) != QV_E_OUTOFMEMORY || p != before) _exit(12);
    _exit(QVMalloc(0xFFFFFFF0u, &q) != QV_E_OUTOFMEMORY || q != nullptr ? 13 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

TEST(Memory, RecallocZeroesEverythingItGainsUpToTheUsableSize) {
  void* p = nullptr;
  ASSERT_EQ(QVRecalloc(&p, 5), QV_S_OK);  // null: fresh zeroed block
  EXPECT_EQ(std::vector<char>(static_cast<char*>(p), static_cast<char*>(p) + 5), std::vector<char>(5));
  uint32_t oldUsable = QVMallocSize(p);
  std::memset(p, 0xAB, oldUsable);
  ASSERT_EQ(QVRecalloc(&p, 4000), QV_S_OK);
  auto* bytes = static_cast<unsigned char*>(p);
  for (uint32_t i = 0; i < QVMallocSize(p); ++i) ASSERT_EQ(bytes[i], i < oldUsable ? 0xAB : 0) << i;
  ASSERT_EQ(QVRecalloc(&p, 2), QV_S_OK);  // shrinking keeps the content
  EXPECT_EQ(static_cast<unsigned char*>(p)[0], 0xAB);
  EXPECT_EQ(QVRecalloc(&p, 0), QV_S_OK);
  EXPECT_EQ(p, nullptr);
}

TEST(Memory, AlignedSizeRoundsUpToFourIn32Bits) {
  const std::pair<uint32_t, uint32_t> sizes[] = {
      {0, 0}, {1, 4}, {4, 4}, {5, 8}, {0xFFFFFFFCu, 0xFFFFFFFCu}, {0xFFFFFFFDu, 0}, {0xFFFFFFFFu, 0}};
  for (auto [in, out] : sizes) EXPECT_EQ(QVGetAlignedSize(in), out) << in;
}

TEST(Atomics, ReturnTheDocumentedValuesAndLoseNoIncrement) {
  int32_t v = -1, big = INT32_MAX, c = 5, n = 0;
  // The results in call order: a braced list is evaluated left to right.
  std::vector<int64_t> got{QVAtomicIncrement(&v), QVAtomicDecrement(&v), QVAtomicAdd32(&v, 10), QVAtomicAdd32(&big, 1),
      QVAtomicExchange(&v, 42), v, QVAtomicCompareExchange(&c, 9, 7), c, QVAtomicCompareExchange(&c, 9, 5), c};
  EXPECT_EQ(got, (std::vector<int64_t>{0, -1, 9, INT32_MIN, 9, 42, 5, 5, 5, 9}));
  size_t s = 5;
  EXPECT_EQ(QVAtomicAddSZ(&s, static_cast<size_t>(-6)), static_cast<size_t>(-1));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back([&] { for (int i = 0; i < 50000; ++i) QVAtomicIncrement(&n); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(n, 200000);
}

TEST(ByteOrder, SwapsAndUnalignedAccess) {
  EXPECT_EQ(QVSwapInt16(0x1234), 0x3412);
  EXPECT_EQ(QVSwapInt32(0x12345678u), 0x78563412u);
  EXPECT_EQ(QVSwapInt64(0x0102030405060708ull), 0x0807060504030201ull);
  unsigned char bytes[16], out[16] = {};
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(0x10 + i);
  EXPECT_EQ(QVGetUnalignedInt16(bytes + 1), 0x1211u);
  EXPECT_EQ(QVGetUnalignedInt32(bytes + 1), 0x14131211u);
  EXPECT_EQ(QVGetUnalignedInt64(bytes + 1), 0x1817161514131211ull);
  QVPutUnalignedInt64(out + 3, 0x8877665544332211ull);
  QVPutUnalignedInt16(out + 12, 0xBEEF);
  QVPutUnalignedInt32(out + 1, 0xCAFEBABEu);  // overwrites out[3] and out[4]
  const unsigned char expected[16] = {0, 0xBE, 0xBA, 0xFE, 0xCA, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0, 0xEF, 0xBE};
  EXPECT_EQ(std::memcmp(out, expected, 16), 0);
}

TEST(Sleep, LastsAtLeastTheTime) {
  auto start = std::chrono::steady_clock::now();
  QVSleep(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

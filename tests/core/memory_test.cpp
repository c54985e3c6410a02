#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "qvcore5/qvcore.h"

TEST(Memory, MallocCallocAndSizeShareOneHeap) {
  void* a = nullptr;
  ASSERT_EQ(QVMalloc(10, &a), QV_S_OK);
  ASSERT_NE(a, nullptr);
  EXPECT_GE(QVMallocSize(a), 10u);
  void* b = nullptr;
  ASSERT_EQ(QVCalloc(4, 8, &b), QV_S_OK);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(static_cast<unsigned char*>(b)[i], 0);
  // A block from one call may go to any other.
  ASSERT_EQ(QVRealloc(&a, 100), QV_S_OK);
  EXPECT_EQ(QVFree(a), 0);
  EXPECT_EQ(QVFree(b), 0);
  EXPECT_EQ(QVFree(nullptr), 0);
  EXPECT_EQ(QVMallocSize(nullptr), 0u);
}

TEST(Memory, ImpossibleSizesFailWithoutAllocating) {
  void* p = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(QVCalloc(0x10000, 0x10001, &p), QV_E_OUTOFMEMORY);  // product beyond 32 bits
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(QVCalloc(0xFFFFFFFFu, 0xFFFFFFFFu, &p), QV_E_OUTOFMEMORY);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(QVMalloc(10, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVCalloc(1, 1, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVRealloc(nullptr, 1), QV_E_INVALIDARG);
  EXPECT_EQ(QVRecalloc(nullptr, 1), QV_E_INVALIDARG);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // both reserve huge shadow memory
// A child process with a small address-space limit, so the heap must refuse.
TEST(Memory, ReallocThatCannotGrowKeepsTheOldBlock) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    void* p = nullptr;
    if (QVMalloc(16, &p) != QV_S_OK) _exit(10);
    std::memcpy(p, "keep-me", 8);
    void* before = p;
    rlimit limit{512u << 20, 512u << 20};
    setrlimit(RLIMIT_AS, &limit);
    if (QVRealloc(&p, 0xFFFFFFF0u) != QV_E_OUTOFMEMORY) _exit(11);
    if (p != before || std::strcmp(static_cast<char*>(p), "keep-me") != 0) _exit(12);
    if (QVRecalloc(&p, 0xFFFFFFF0u) != QV_E_OUTOFMEMORY || p != before) _exit(13);
    void* q = nullptr;
    if (QVMalloc(0xFFFFFFF0u, &q) != QV_E_OUTOFMEMORY || q != nullptr) _exit(14);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST(Memory, ReallocToZeroFreesAndNullsThePointer) {
  void* p = nullptr;
  ASSERT_EQ(QVMalloc(8, &p), QV_S_OK);
  EXPECT_EQ(QVRealloc(&p, 0), QV_S_OK);
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(QVRealloc(&p, 8), QV_S_OK);  // null grows like a fresh allocation
  EXPECT_NE(p, nullptr);
  QVFree(p);
}

TEST(Memory, RecallocZeroesEverythingItGainsUpToTheUsableSize) {
  void* p = nullptr;
  ASSERT_EQ(QVRecalloc(&p, 5), QV_S_OK);  // null: fresh zeroed block
  for (int i = 0; i < 5; ++i) EXPECT_EQ(static_cast<unsigned char*>(p)[i], 0);
  std::memset(p, 0xAB, QVMallocSize(p));
  uint32_t oldUsable = QVMallocSize(p);
  ASSERT_EQ(QVRecalloc(&p, 4000), QV_S_OK);
  auto* bytes = static_cast<unsigned char*>(p);
  for (uint32_t i = 0; i < oldUsable; ++i) ASSERT_EQ(bytes[i], 0xAB) << i;
  uint32_t newUsable = QVMallocSize(p);
  for (uint32_t i = oldUsable; i < newUsable; ++i) ASSERT_EQ(bytes[i], 0) << i;
  // Shrinking keeps the content and zeroes nothing.
  ASSERT_EQ(QVRecalloc(&p, 2), QV_S_OK);
  EXPECT_EQ(static_cast<unsigned char*>(p)[0], 0xAB);
  ASSERT_EQ(QVRecalloc(&p, 0), QV_S_OK);
  EXPECT_EQ(p, nullptr);
}

TEST(Memory, AlignedSizeRoundsUpToFourIn32Bits) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{0, 0}, {1, 4}, {4, 4}, {5, 8}, {0xFFFFFFFCu, 0xFFFFFFFCu},
                                                  {0xFFFFFFFDu, 0}, {0xFFFFFFFFu, 0}};
  for (auto [in, out] : sizes) EXPECT_EQ(QVGetAlignedSize(in), out) << in;
}

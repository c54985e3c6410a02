#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"

TEST(Atomics, ReturnTheDocumentedValues) {
  int32_t v = -1;  // 0xFFFFFFFF
  EXPECT_EQ(QVAtomicIncrement(&v), 0);
  EXPECT_EQ(QVAtomicDecrement(&v), -1);
  EXPECT_EQ(QVAtomicAdd32(&v, 10), 9);
  int32_t big = INT32_MAX;
  EXPECT_EQ(QVAtomicAdd32(&big, 1), INT32_MIN);  // wraps
  EXPECT_EQ(QVAtomicExchange(&v, 42), 9);
  EXPECT_EQ(v, 42);
  size_t s = 5;
  EXPECT_EQ(QVAtomicAddSZ(&s, static_cast<size_t>(-6)), static_cast<size_t>(-1));

  int32_t c = 5;
  EXPECT_EQ(QVAtomicCompareExchange(&c, 9, 7), 5);
  EXPECT_EQ(c, 5);
  EXPECT_EQ(QVAtomicCompareExchange(&c, 9, 5), 5);
  EXPECT_EQ(c, 9);
}

TEST(Atomics, IncrementsFromManyThreadsAreNotLost) {
  int32_t counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50000; ++i) QVAtomicIncrement(&counter);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 200000);
}

TEST(ByteOrder, SwapsAndUnalignedAccess) {
  EXPECT_EQ(QVSwapInt16(0x1234), 0x3412);
  EXPECT_EQ(QVSwapInt32(0x12345678u), 0x78563412u);
  EXPECT_EQ(QVSwapInt64(0x0102030405060708ull), 0x0807060504030201ull);

  unsigned char bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(0x10 + i);
  const unsigned char* odd = bytes + 1;
  EXPECT_EQ(QVGetUnalignedInt16(odd), 0x1211u);
  EXPECT_EQ(QVGetUnalignedInt32(odd), 0x14131211u);
  EXPECT_EQ(QVGetUnalignedInt64(odd), 0x1817161514131211ull);

  unsigned char out[16] = {};
  QVPutUnalignedInt64(out + 3, 0x8877665544332211ull);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[3 + i], 0x11 * (i + 1)) << i;
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(out[11], 0);
  QVPutUnalignedInt16(out + 1, 0xBEEF);
  EXPECT_EQ(out[1], 0xEF);
  EXPECT_EQ(out[2], 0xBE);
  QVPutUnalignedInt32(out + 5, 0xCAFEBABEu);
  EXPECT_EQ(QVGetUnalignedInt32(out + 5), 0xCAFEBABEu);
}

TEST(DebugBreak, RaisesTheBreakpointTrapAndReturns) { EXPECT_EQ(qvtest::CountTraps([] { QVDebugBreak(); }), 1); }

TEST(Sleep, SleepsAtLeastTheTimeAndZeroYields) {
  auto start = std::chrono::steady_clock::now();
  QVSleep(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
  QVSleep(0);
}

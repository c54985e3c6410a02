// Work at thread end that must not depend on thread-local storage.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "os/os_thread.h"

namespace {

std::atomic<uintptr_t> g_delivered{0};

TEST(OsThreadEndHook, RunsWithTheArmedValueOnceTheThreadEndsAndNotWhenDisarmed) {
  static qv::os::ThreadEndHook hook([](void* value) { g_delivered.fetch_add(reinterpret_cast<uintptr_t>(value)); });
  std::thread([] { EXPECT_TRUE(hook.Arm(reinterpret_cast<void*>(uintptr_t{42}))); }).join();
  EXPECT_EQ(g_delivered.exchange(0), 42u);
  std::thread([] {
    EXPECT_TRUE(hook.Arm(reinterpret_cast<void*>(uintptr_t{7})));
    EXPECT_TRUE(hook.Arm(nullptr));
  }).join();
  EXPECT_EQ(g_delivered.load(), 0u);
}

}  // namespace

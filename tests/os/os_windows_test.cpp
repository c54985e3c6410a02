// Windows only: the store lock is a named mutex, so a holder that ends
// without giving it up leaves it abandoned and the next taker owns it.
#if defined(_WIN32)
#include <windows.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "os/os_store_file.h"

namespace {

using qv::os::StoreLock;

TEST(OsStoreLockWindows, AHolderThatEndsGivesItUp) {
  std::string name = "qvtest-abandon-" + std::to_string(GetCurrentProcessId());
  std::unique_ptr<StoreLock> lock(StoreLock::Open(name));
  ASSERT_TRUE(lock);
  std::thread holder([&] { lock->Take(); });  // ends holding it
  holder.join();
  // Taken on a thread of its own, so a fault fails the test instead of hanging it.
  std::promise<void> taken;
  std::thread taker([&] {
    lock->Take();
    taken.set_value();
    lock->Give();
  });
  bool granted = taken.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!granted) {
    taker.detach();
    lock.release();  // still in use by the stuck thread
  } else {
    taker.join();
  }
  EXPECT_TRUE(granted);
}

}  // namespace
#endif

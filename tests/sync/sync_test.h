// What the synchronisation tests share.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"

using namespace std::chrono_literals;

namespace qvtest {
// Runs `body` on `n` threads at once and joins them.
inline void OnThreads(int n, const std::function<void()>& body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t) threads.emplace_back(body);
  for (auto& t : threads) t.join();
}
}  // namespace qvtest

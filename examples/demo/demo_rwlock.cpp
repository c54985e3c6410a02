// Demo section: a reader-writer lock shared by a few threads, then events,
// a gate and a condition.
#include <qvcore5/qvcore.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <thread>
#include <vector>

#include "demo.h"

namespace demo {

namespace {

// A table that is consistent only when all its cells hold the same number.
struct Table {
  int cells[8] = {};
  bool Consistent() const {
    for (int c : cells)
      if (c != cells[0]) return false;
    return true;
  }
};

void SharedTable() {
  QVRWLOCK lock;
  Check(QVRWLockCreate("demo::table", 0, &lock) == QV_S_OK, "created a reader-writer lock");
  Table table;
  std::atomic<int> inside{0}, mostReadersAtOnce{0}, torn{0}, reads{0};
  std::atomic<bool> writing{false}, stop{false};

  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      while (!stop) {
        QVRWLockAcquireRead(lock);
        int now = ++inside;
        for (int seen = mostReadersAtOnce; now > seen && !mostReadersAtOnce.compare_exchange_weak(seen, now);) {
        }
        if (writing || !table.Consistent()) ++torn;
        ++reads;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        --inside;
        QVRWLockReleaseRead(lock);
      }
    });
  std::thread writer([&] {
    for (int w = 1; w <= 50; ++w) {
      QVRWLockAcquireWrite(lock);
      writing = true;
      if (inside != 0) ++torn;
      for (int& c : table.cells) {
        c = w;
        std::this_thread::yield();  // a reader slipping in now would see a half-written table
      }
      writing = false;
      QVRWLockReleaseWrite(lock);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
  });
  writer.join();
  for (auto& t : readers) t.join();

  std::printf("  3 readers read %d times, up to %d at once; the writer wrote 50 times\n", reads.load(),
              mostReadersAtOnce.load());
  Check(mostReadersAtOnce > 1, "readers shared the lock");
  Check(torn == 0 && table.cells[0] == 50 && table.Consistent(),
        "no reader ever met the writer: every table read was whole");

  // The only reader may become the writer, and keeps its read afterwards.
  QVRWLockAcquireRead(lock);
  Check(QVRWLockAcquireWrite(lock) == QV_S_OK, "the only reader took the write lock without waiting");
  QVRWLockReleaseWrite(lock);
  QVRESULT other = QV_S_OK;
  std::thread([&] { other = QVRWLockTryAcquireWrite(lock); }).join();
  Check(other == QV_E_FAIL, "after the write release it still reads, so another thread cannot write");
  Check(QVRWLockReleaseRead(lock) == QV_S_OK && QVRWLockReleaseRead(lock) == QV_E_FAIL,
        "its read released once; a second release is refused with 0x80004005");
  QVRWLockDestroy(lock);
}

void Signals() {
  QVEVENT ping, pong;
  QVEventCreate("demo::ping", 0, &ping);
  QVEventCreate("demo::pong", 0, &pong);
  std::thread partner([&] {
    for (int i = 0; i < 1000; ++i) {
      QVEventWait(ping);
      QVEventSignal(pong);
    }
  });
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) {
    QVEventSignal(ping);
    QVEventWait(pong);
  }
  partner.join();
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  std::printf("  1000 round trips through two auto-reset events took %lld us\n", static_cast<long long>(us));
  Check(QVEventTimedWait(ping, 0) == QV_E_TIMEOUT, "each signal was taken by exactly one wait");
  QVEventDestroy(ping);
  QVEventDestroy(pong);

  QVGATE gate;
  QVGateCreate("demo::gate", 0, &gate);
  std::atomic<int> through{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (QVGateWait(gate) == QV_S_OK) ++through;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Check(through == 0 && QVGateTryWait(gate) == QV_E_FAIL, "a closed gate holds its waiters");
  QVGateOpen(gate);
  for (auto& t : waiters) t.join();
  Check(through == 3 && QVGateTryWait(gate) == QV_S_OK, "opened once, it let all three through and stays open");
  QVGateDestroy(gate);

  QVCONDITION condition;
  QVConditionCreate("demo::condition", 0, &condition);
  QVConditionAcquire(condition);
  QVRESULT r = QVConditionTimedWait(condition, 30);
  std::printf("  a 30 ms wait on a condition nobody signals returned 0x%08" PRIX32 "\n", static_cast<uint32_t>(r));
  Check(r == QV_E_TIMEOUT && QVConditionRelease(condition) == QV_S_OK,
        "it timed out and the monitor's lock was held again");
  QVConditionDestroy(condition);
}

}  // namespace

void RWLockSection() {
  Say("\n== Reader-writer lock ==");
  SharedTable();
  Say("\n== Events, gates and conditions ==");
  Signals();
}

}  // namespace demo

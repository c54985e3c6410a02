// Demo section: worker threads that share a semaphore.
#include <qvcore5/qvcore.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>

#include "demo.h"

namespace demo {

namespace {

struct Shared {
  QVSEMAPHORE slots;           // at most two workers inside at once
  std::atomic<int> inside{0};
  std::atomic<int> mostInside{0};
};

uint32_t Worker(void* argument) {
  auto* shared = static_cast<Shared*>(argument);
  uint32_t rounds = 0;
  for (int i = 0; i < 50; ++i) {
    QVSemaphoreWait(shared->slots);
    int now = shared->inside.fetch_add(1) + 1;
    int most = shared->mostInside.load();
    while (now > most && !shared->mostInside.compare_exchange_weak(most, now)) {
    }
    QVThreadYield();
    shared->inside.fetch_sub(1);
    QVSemaphorePost(shared->slots);
    ++rounds;
  }
  return rounds;
}

}  // namespace

void ThreadSection() {
  Say("\n== Threads and a semaphore ==");
  Shared shared;
  Check(QVSemaphoreCreate(2, "demo::slots", 0, &shared.slots) == QV_S_OK, "created a semaphore with two units");
  constexpr int kWorkers = 4;
  uint32_t ids[kWorkers];
  bool started = true;
  for (uint32_t& id : ids) started &= QVThreadCreate(&Worker, &shared, 0, 0, &id, nullptr) == QV_S_OK;
  Check(started, "started four worker threads that each pass the semaphore 50 times");
  uint32_t total = 0;
  bool joined = true;
  for (uint32_t id : ids) {
    uint32_t code = 0;
    joined &= QVThreadJoin(id, &code) == QV_S_OK;
    std::printf("  thread %" PRIu32 " ended with exit code %" PRIu32 "\n", id, code);
    total += code;
  }
  Check(joined && total == 4 * 50, "joined every worker; their exit codes add up to 200 rounds");
  std::printf("  at most %d workers were inside at the same time\n", shared.mostInside.load());
  Check(shared.mostInside.load() <= 2, "the semaphore never let more than two in");
  Check(QVThreadIsFinished(ids[0]) == 1, "a joined thread is no longer tracked");
  Check(QVThreadJoin(ids[0], nullptr) == QV_E_HANDLE, "joining it again is refused with 0x80070006");
  QVSemaphoreDestroy(shared.slots);
}

}  // namespace demo

// Threads and semaphores against their plain POSIX and standard-library
// counterparts, measured in the same run.
#include <benchmark/benchmark.h>
#include <qvcore5/qvcore.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

uint32_t Nothing(void*) { return 0; }

void BM_QVThreadCreateJoin(benchmark::State& state) {
  for (auto _ : state) {
    uint32_t thread;
    if (QVThreadCreate(&Nothing, nullptr, 0, 0, &thread, nullptr) != QV_S_OK) state.SkipWithError("create");
    QVThreadJoin(thread, nullptr);
  }
}
BENCHMARK(BM_QVThreadCreateJoin)->UseRealTime();

void BM_StdThreadCreateJoin(benchmark::State& state) {
  for (auto _ : state) std::thread([] {}).join();
}
BENCHMARK(BM_StdThreadCreateJoin)->UseRealTime();

void BM_QVSemaphorePostWait(benchmark::State& state) {
  QVSEMAPHORE s;
  QVSemaphoreCreate(0, nullptr, 0, &s);
  for (auto _ : state) {
    QVSemaphorePost(s);
    QVSemaphoreWait(s);
  }
  QVSemaphoreDestroy(s);
}
BENCHMARK(BM_QVSemaphorePostWait);

void BM_SemTPostWait(benchmark::State& state) {
  sem_t s;
  sem_init(&s, 0, 0);
  for (auto _ : state) {
    sem_post(&s);
    sem_wait(&s);
  }
  sem_destroy(&s);
}
BENCHMARK(BM_SemTPostWait);

// One round trip: this thread posts `ping` and waits for `pong`; a partner
// thread answers each ping with a pong.
template <class Sem>
void PingPong(benchmark::State& state, Sem& ping, Sem& pong) {
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    for (;;) {
      ping.Wait();
      if (stop.load()) return;
      pong.Post();
    }
  });
  for (auto _ : state) {
    ping.Post();
    pong.Wait();
  }
  stop = true;
  ping.Post();
  partner.join();
  state.counters["round_trips_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                           benchmark::Counter::kIsRate);
}

struct QVSem {
  QVSEMAPHORE s;
  QVSem() { QVSemaphoreCreate(0, nullptr, 0, &s); }
  ~QVSem() { QVSemaphoreDestroy(s); }
  void Post() { QVSemaphorePost(s); }
  void Wait() { QVSemaphoreWait(s); }
};

struct PosixSem {
  sem_t s;
  PosixSem() { sem_init(&s, 0, 0); }
  ~PosixSem() { sem_destroy(&s); }
  void Post() { sem_post(&s); }
  void Wait() { sem_wait(&s); }
};

void BM_QVSemaphorePingPong(benchmark::State& state) {
  QVSem ping, pong;
  PingPong(state, ping, pong);
}
BENCHMARK(BM_QVSemaphorePingPong)->UseRealTime();

void BM_SemTPingPong(benchmark::State& state) {
  PosixSem ping, pong;
  PingPong(state, ping, pong);
}
BENCHMARK(BM_SemTPingPong)->UseRealTime();

// The same between two processes through named semaphores: a forked child
// answers every ping until it is killed.
void BM_NamedSemPingPongProcesses(benchmark::State& state) {
  std::string base = "qvbench-" + std::to_string(getpid());
  std::string pingName = base + "-ping", pongName = base + "-pong";
  QVSEMAPHORE ping, pong;
  QVNamedSemOpen(pingName.c_str(), 0, &ping);
  QVNamedSemOpen(pongName.c_str(), 0, &pong);
  pid_t child = fork();
  if (child == 0) {
    QVSEMAPHORE childPing, childPong;
    QVNamedSemOpen(pingName.c_str(), 0, &childPing);
    QVNamedSemOpen(pongName.c_str(), 0, &childPong);
    for (;;) {
      QVNamedSemWait(childPing);
      QVNamedSemPost(childPong);
    }
  }
  for (auto _ : state) {
    QVNamedSemPost(ping);
    QVNamedSemWait(pong);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  QVNamedSemClose(ping);
  QVNamedSemClose(pong);
  state.counters["round_trips_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NamedSemPingPongProcesses)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

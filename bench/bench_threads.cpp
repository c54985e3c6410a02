// Threads and semaphores against the platform's own semaphore (sem_t, on
// Windows a semaphore object) and std::thread, measured in the same run.
#include <benchmark/benchmark.h>
#include <qvcore5/qvcore.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <semaphore.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

#ifdef _WIN32
struct PlatformSem {
  HANDLE h = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
  ~PlatformSem() { CloseHandle(h); }
  void Post() { ReleaseSemaphore(h, 1, nullptr); }
  void Wait() { WaitForSingleObject(h, INFINITE); }
};
#else
struct PlatformSem {
  sem_t s;
  PlatformSem() { sem_init(&s, 0, 0); }
  ~PlatformSem() { sem_destroy(&s); }
  void Post() { sem_post(&s); }
  void Wait() { sem_wait(&s); }
};
#endif

uint32_t QV_CALL Nothing(void*) { return 0; }

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

void BM_PlatformSemPostWait(benchmark::State& state) {
  PlatformSem s;
  for (auto _ : state) {
    s.Post();
    s.Wait();
  }
}
BENCHMARK(BM_PlatformSemPostWait);

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

void BM_QVSemaphorePingPong(benchmark::State& state) {
  QVSem ping, pong;
  PingPong(state, ping, pong);
}
BENCHMARK(BM_QVSemaphorePingPong)->UseRealTime();

void BM_PlatformSemPingPong(benchmark::State& state) {
  PlatformSem ping, pong;
  PingPong(state, ping, pong);
}
BENCHMARK(BM_PlatformSemPingPong)->UseRealTime();

// The same between two processes through named semaphores: a partner process
// answers every ping until it is ended.
[[noreturn]] void AnswerPings(const std::string& base) {
  QVSEMAPHORE ping, pong;
  QVNamedSemOpen((base + "-ping").c_str(), 0, &ping);
  QVNamedSemOpen((base + "-pong").c_str(), 0, &pong);
  for (;;) {
    QVNamedSemWait(ping);
    QVNamedSemPost(pong);
  }
}

constexpr char kPartnerOption[] = "--qv-partner=";

#ifdef _WIN32
// This program again, told to answer (Windows has no fork).
class Partner {
 public:
  explicit Partner(const std::string& base) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" " +
                        std::wstring(kPartnerOption, kPartnerOption + std::strlen(kPartnerOption)) +
                        std::wstring(base.begin(), base.end());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    m_started = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi);
  }
  ~Partner() {
    if (!m_started) return;
    TerminateProcess(m_pi.hProcess, 0);
    WaitForSingleObject(m_pi.hProcess, INFINITE);
    CloseHandle(m_pi.hProcess);
    CloseHandle(m_pi.hThread);
  }
  bool Started() const { return m_started; }

 private:
  PROCESS_INFORMATION m_pi{};
  bool m_started = false;
};
std::string ProcessTag() { return std::to_string(GetCurrentProcessId()); }
#else
class Partner {
 public:
  explicit Partner(const std::string& base) : m_child(fork()) {
    if (m_child == 0) AnswerPings(base);
  }
  ~Partner() {
    if (m_child <= 0) return;
    kill(m_child, SIGKILL);
    waitpid(m_child, nullptr, 0);
  }
  bool Started() const { return m_child > 0; }

 private:
  pid_t m_child;
};
std::string ProcessTag() { return std::to_string(getpid()); }
#endif

void BM_NamedSemPingPongProcesses(benchmark::State& state) {
  std::string base = "qvbench-" + ProcessTag();
  QVSEMAPHORE ping, pong;
  QVNamedSemOpen((base + "-ping").c_str(), 0, &ping);
  QVNamedSemOpen((base + "-pong").c_str(), 0, &pong);
  {
    Partner partner(base);
    if (!partner.Started()) {
      state.SkipWithError("partner process");
    } else {
      // One round trip first, so that the partner's start is not timed.
      QVNamedSemPost(ping);
      QVNamedSemWait(pong);
      for (auto _ : state) {
        QVNamedSemPost(ping);
        QVNamedSemWait(pong);
      }
    }
  }
  QVNamedSemClose(ping);
  QVNamedSemClose(pong);
  state.counters["round_trips_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NamedSemPingPongProcesses)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kPartnerOption, std::strlen(kPartnerOption)) == 0)
      AnswerPings(argv[i] + std::strlen(kPartnerOption));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

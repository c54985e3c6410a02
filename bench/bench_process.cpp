// Starting and joining a trivial child against posix_spawn + waitpid, and
// reading a child's output pipe with QVFileRead against read, in the same run.
#include <benchmark/benchmark.h>
#include <qvcore5/qvcore.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

const std::string kHelper = QV_PROCESS_HELPER;
const std::u16string kHelperWide(kHelper.begin(), kHelper.end());
constexpr int kMiB = 256;
constexpr uint32_t kBlock = 64 << 10;

void BM_StartJoin_Library(benchmark::State& state) {
  for (auto _ : state) {
    QVHANDLE child;
    uint32_t code = 1;
    if (QVProcessCreate(kHelperWide.c_str(), u"exit 0", nullptr, nullptr, 0, nullptr, &child) < 0 ||
        QVProcessJoin(child, &code) < 0 || code != 0)
      state.SkipWithError("start failed");
  }
}
BENCHMARK(BM_StartJoin_Library)->UseRealTime();

void BM_StartJoin_PosixSpawn(benchmark::State& state) {
  char* argv[] = {const_cast<char*>(kHelper.c_str()), const_cast<char*>("exit"), const_cast<char*>("0"), nullptr};
  for (auto _ : state) {
    pid_t pid;
    int status = 1;
    if (posix_spawn(&pid, kHelper.c_str(), nullptr, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid ||
        status != 0)
      state.SkipWithError("start failed");
  }
}
BENCHMARK(BM_StartJoin_PosixSpawn)->UseRealTime();

// The helper writes 256 MiB into a pipe. The library's case reads the pipe
// the library made; the baseline makes its own pipe of the same size, hands
// the write end to the child as a given handle (opened through
// /proc/self/fd) and reads the descriptor with read.
void ReadPipe(benchmark::State& state, bool library) {
  std::vector<char> buffer(kBlock);
  for (auto _ : state) {
    QVPROCESSSTREAMS streams = {QV_INVALID_HANDLE, QV_INVALID_HANDLE, QV_INVALID_HANDLE};
    int fds[2] = {-1, -1};
    QVFILE given = QV_INVALID_HANDLE;
    if (!library) {
      if (pipe2(fds, O_CLOEXEC) != 0) return state.SkipWithError("pipe failed");
      fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);  // the size the library gives its pipes
      std::string name = "/proc/self/fd/" + std::to_string(fds[1]);
      std::u16string wide(name.begin(), name.end());
      if (QVFileOpen(wide.c_str(), QV_FILE_WRITE, 0, &given) < 0) return state.SkipWithError("open failed");
      streams.output = given;
    }
    QVHANDLE child;
    if (QVProcessCreate(kHelperWide.c_str(), u"bigout 256", nullptr, nullptr, 0, &streams, &child) < 0)
      return state.SkipWithError("start failed");
    QVFileClose(streams.input);
    QVFileClose(streams.error);
    size_t total = 0;
    if (library) {
      uint32_t got = 0;
      while (QVFileRead(streams.output, buffer.data(), kBlock, &got) >= 0 && got > 0) total += got;
      QVFileClose(streams.output);
    } else {
      QVFileClose(given);
      close(fds[1]);
      ssize_t n;
      while ((n = read(fds[0], buffer.data(), kBlock)) > 0) total += static_cast<size_t>(n);
      close(fds[0]);
    }
    uint32_t code;
    QVProcessJoin(child, &code);
    if (total != size_t{kMiB} << 20) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(state.iterations() * (int64_t{kMiB} << 20));
}

void BM_PipeRead_Library(benchmark::State& state) { ReadPipe(state, true); }
void BM_PipeRead_Read(benchmark::State& state) { ReadPipe(state, false); }
BENCHMARK(BM_PipeRead_Library)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipeRead_Read)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

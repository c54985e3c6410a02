// Files, copies, directory listings and UTF-16 lines against plain
// descriptors, cp, readdir with fstatat, and ICU's u_fgets, in the same run.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <qvcore5/qvcore.h>
#include <sys/stat.h>
#include <unicode/ustdio.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kBig = size_t{256} << 20;
constexpr size_t kBlock = 64 << 10;
constexpr int kDirEntries = 10000;
constexpr size_t kTextBytes = size_t{32} << 20;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

// One scratch directory for the whole run, with the inputs made once.
struct Scratch {
  std::string dir;
  std::string big, copy, listing, text;
  Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/qvbench_fileXXXXXX";
    dir = mkdtemp(templ.data());
    big = dir + "/big";
    copy = dir + "/copy";
    listing = dir + "/listing";
    text = dir + "/text";
    std::vector<char> block(kBlock);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
    int fd = open(big.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    for (size_t done = 0; done < kBig; done += kBlock) (void)!write(fd, block.data(), kBlock);
    close(fd);
    mkdir(listing.c_str(), 0755);
    for (int i = 0; i < kDirEntries; ++i) close(open((listing + "/entry" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644));
    std::u16string content;
    content.reserve(kTextBytes / 2);
    content += u'\xFEFF';
    for (int i = 0; content.size() * 2 < kTextBytes; ++i)
      content += u"line " + Wide(std::to_string(i)) + u" of some UTF-16 text, \x00E9t\x00E9 \x6F22\x5B57\r\n";
    fd = open(text.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    (void)!write(fd, content.data(), content.size() * 2);  // little-endian host: matches the mark
    close(fd);
  }
  ~Scratch() { (void)!std::system(("rm -rf '" + dir + "'").c_str()); }
};

Scratch& Files() {
  static Scratch scratch;
  return scratch;
}

void BM_QVFileRead64K(benchmark::State& state) {
  std::u16string path = Wide(Files().big);
  std::vector<char> buffer(kBlock);
  for (auto _ : state) {
    QVFILE f;
    QVFileOpen(P(path), QV_FILE_READ, 0, &f);
    uint32_t n;
    while (QVFileRead(f, buffer.data(), kBlock, &n) == 0) benchmark::DoNotOptimize(buffer.data());
    QVFileClose(f);
  }
  state.SetBytesProcessed(state.iterations() * kBig);
}

void BM_PosixRead64K(benchmark::State& state) {
  std::vector<char> buffer(kBlock);
  for (auto _ : state) {
    int fd = open(Files().big.c_str(), O_RDONLY | O_CLOEXEC);
    while (read(fd, buffer.data(), kBlock) > 0) benchmark::DoNotOptimize(buffer.data());
    close(fd);
  }
  state.SetBytesProcessed(state.iterations() * kBig);
}

void BM_QVFileWrite64K(benchmark::State& state) {
  std::u16string path = Wide(Files().dir + "/written");
  std::vector<char> buffer(kBlock, 'w');
  for (auto _ : state) {
    QVFILE f;
    QVFileOpen(P(path), QV_FILE_WRITE | QV_FILE_CREATE, 0666, &f);
    uint32_t n;
    for (size_t done = 0; done < kBig; done += kBlock) QVFileWrite(f, buffer.data(), kBlock, &n);
    QVFileClose(f);
  }
  state.SetBytesProcessed(state.iterations() * kBig);
}

void BM_PosixWrite64K(benchmark::State& state) {
  std::string path = Files().dir + "/written";
  std::vector<char> buffer(kBlock, 'w');
  for (auto _ : state) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    for (size_t done = 0; done < kBig; done += kBlock) (void)!write(fd, buffer.data(), kBlock);
    close(fd);
  }
  state.SetBytesProcessed(state.iterations() * kBig);
}

void BM_QVFileCopy(benchmark::State& state) {
  std::u16string from = Wide(Files().big), to = Wide(Files().copy);
  for (auto _ : state) {
    state.PauseTiming();
    unlink(Files().copy.c_str());
    sync();  // both sides start without dirty pages to write back
    state.ResumeTiming();
    if (QVFileCopy(P(from), P(to), QV_FILE_CREATE | QV_FILE_TRUNCATE, 0666, nullptr) < 0) state.SkipWithError("copy");
  }
  state.SetBytesProcessed(state.iterations() * kBig);
}

void BM_cp(benchmark::State& state) {
  std::string command = "cp '" + Files().big + "' '" + Files().copy + "'";
  for (auto _ : state) {
    state.PauseTiming();
    unlink(Files().copy.c_str());
    sync();  // both sides start without dirty pages to write back
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp");
  }
  state.SetBytesProcessed(state.iterations() * kBig);
}

void BM_QVDirList(benchmark::State& state) {
  std::u16string path = Wide(Files().listing);
  int64_t entries = 0;
  for (auto _ : state) {
    QVDIR d;
    QVDirOpen(P(path), &d);
    QVDirEntry e;
    while (QVDirRead(d, &e) == 0) ++entries;
    QVDirClose(d);
  }
  state.SetItemsProcessed(entries);
}

void BM_ReaddirFstatat(benchmark::State& state) {
  int64_t entries = 0;
  for (auto _ : state) {
    DIR* d = opendir(Files().listing.c_str());
    struct stat st;
    while (dirent* e = readdir(d)) {
      fstatat(dirfd(d), e->d_name, &st, 0);
      benchmark::DoNotOptimize(st.st_size);
      ++entries;
    }
    closedir(d);
  }
  state.SetItemsProcessed(entries);
}

void BM_QVFileGetLineUTF16(benchmark::State& state) {
  QVWCHAR buffer[512];
  for (auto _ : state) {
    QVUTF16FILE f = QVFileOpenUTF16(Files().text.c_str(), "r");
    while (QVFileGetLineUTF16(buffer, 512, f) != nullptr) benchmark::DoNotOptimize(buffer[0]);
    QVFileCloseUTF16(f);
  }
  state.SetBytesProcessed(state.iterations() * kTextBytes);
}

void BM_u_fgets(benchmark::State& state) {
  UChar buffer[512];
  for (auto _ : state) {
    UFILE* f = u_fopen(Files().text.c_str(), "r", nullptr, "UTF-16");
    while (u_fgets(buffer, 512, f) != nullptr) benchmark::DoNotOptimize(buffer[0]);
    u_fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * kTextBytes);
}

// Each pair runs back to back, so both sides see the same cache state.
BENCHMARK(BM_QVFileRead64K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_PosixRead64K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_QVFileWrite64K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_PosixWrite64K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_QVFileCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_cp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_QVDirList)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(BM_ReaddirFstatat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(BM_QVFileGetLineUTF16)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_u_fgets)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
  Files();  // the inputs are made before anything is timed
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

#if !defined(_WIN32)
#include <fcntl.h>
#endif
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>

#include "os/os_append_file.h"
#include "sync/sync_test.h"

namespace {

struct Entry {
  std::string kind, digits, name;
  int64_t values[7];  // held count, total held, max held, acquire count, total acquire, max acquire, contention
};
struct Report {
  std::string label, stamp;
  std::vector<Entry> entries;
};

// Parses strictly: begin line, frequency, header, entries, end line repeating the begin, two empty lines.
std::vector<Report> ParseDumps(const std::string& path) {
  static const std::regex begin(R"(BeginLockStatistics: (.*) - (\d\d/\d\d/\d{4} \d\d:\d\d:\d\d))");
  static const std::regex entry(R"(([A-Z_]+):0x([0-9A-F]+)\((.*)\)((,(0|[1-9]\d*)){7}))");
  std::string text = qvtest::ReadFile(path);
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "the file ends in the middle of a line";
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<Report> reports;
  std::smatch m;
  for (size_t i = 0; i < lines.size(); i += 3) {
    if (!std::regex_match(lines[i], m, begin) || i + 2 >= lines.size()) {
      ADD_FAILURE() << "line " << i << " does not begin a whole report: " << lines[i];
      break;
    }
    Report& r = reports.emplace_back(Report{m[1], m[2], {}});
    EXPECT_EQ(lines[i + 1], "CPU Frequency,1000000");
    EXPECT_EQ(lines[i + 2], "Name/Handle,Held Count,Total Held Time,Max Held Time,Acquire Count,Total Acquire Time,"
                            "Max Acquire Time,Contention Count");
    for (i += 3; i < lines.size() && std::regex_match(lines[i], m, entry); ++i) {
      Entry& e = r.entries.emplace_back(Entry{m[1], m[2], m[3], {}});
      EXPECT_EQ(e.digits.size(), sizeof(void*) * 2) << lines[i];
      std::istringstream values(m[4].str());
      for (int64_t& v : e.values) values.ignore(1), values >> v;
    }
    EXPECT_EQ(i + 2 < lines.size() ? lines[i] + "|" + lines[i + 1] + lines[i + 2] : "missing",
              "EndLockStatistics: " + r.label + " - " + r.stamp + "|");
  }
  return reports;
}

std::u16string W(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Digits(QVMUTEX handle) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*" PRIXPTR, int(sizeof(void*) * 2), reinterpret_cast<uintptr_t>(handle));
  return buffer;
}

std::vector<const Entry*> Find(const Report& r, const std::string& name) {
  std::vector<const Entry*> found;
  for (const Entry& e : r.entries) e.name == name ? found.push_back(&e) : void();
  return found;
}

QVMUTEX Measured(const std::string& name) {
  QVMUTEX m = nullptr;
  EXPECT_EQ(QVMutexCreate(name.c_str(), QV_MUTEX_STATS, &m), QV_S_OK);
  return m;
}

class LockStats : public ::testing::Test {
 protected:
  void SetUp() override { QVResetLockStats(); }
  void TearDown() override { QVResetLockStats(); }
  std::vector<Report> DumpAndParse(const char* label) {
    EXPECT_EQ(QVDumpLockStats(label, W(m_file).c_str()), QV_S_OK);
    return ParseDumps(m_file);
  }
  qvtest::TempDir m_dir;
  std::string m_file = m_dir.File("stats.csv");
};

}  // namespace

TEST_F(LockStats, DumpWithDefaultsAndNoMeasuredMutexIsHeaderAndEndWithALocalStamp) {
  QVTime before{}, after{};
  QVTimeGetLocal(&before);
  auto saved = std::filesystem::current_path();
  std::filesystem::current_path(m_dir.path());
  QVRESULT r = QVDumpLockStats(nullptr, nullptr);
  std::filesystem::current_path(saved);
  QVTimeGetLocal(&after);
  ASSERT_EQ(r, QV_S_OK);
  auto reports = ParseDumps(m_dir.File("qvlockstats.csv"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].label, "LockStatsDump");
  EXPECT_TRUE(reports[0].entries.empty());
  auto sortable = [](const QVTime& t) {  // the stamp is month first
    char b[64];
    std::snprintf(b, sizeof b, "%04u%02u%02u %02u:%02u:%02u", unsigned(t.year), unsigned(t.month), unsigned(t.day),
                  unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
    return std::string(b);
  };
  const std::string& st = reports[0].stamp;
  const std::string stamp = st.substr(6, 4) + st.substr(0, 2) + st.substr(3, 2) + st.substr(10);
  EXPECT_LE(sortable(before), stamp);
  EXPECT_LE(stamp, sortable(after));
}

TEST_F(LockStats, EntryCarriesHandleNameAndTheMeasuredHoldsWaitsAndContention) {
  std::string name = qvtest::UniqueName("ls-contended");
  QVMUTEX m = Measured(name);
  QVMutexAcquire(m), QVMutexAcquire(m);  // recursive acquisitions count too
  std::thread waiter([&] { QVMutexAcquire(m), QVMutexRelease(m); });
  EXPECT_TRUE(qvtest::WaitUntil([&] { return qvtest::LockHasWaiter(QVMutexGetOSMutex(m)); }));
  QVSleep(20);  // a hold and a wait long enough to measure
  QVMutexRelease(m), QVMutexRelease(m);
  waiter.join();
  QVLockStats s{};
  ASSERT_EQ(QVGetLockStats(m, &s), QV_S_OK);
  const int64_t expected[7] = {3, s.totalHeldTime, s.maxHeldTime, 3, s.totalAcquireTime, s.maxAcquireTime, 1};
  EXPECT_GE(s.maxHeldTime, 19000);
  EXPECT_GE(s.totalHeldTime, s.maxHeldTime);
  EXPECT_GE(s.maxAcquireTime, 10000);
  auto reports = DumpAndParse("contended");
  auto found = Find(reports.at(0), name);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->kind, "QV_MUTEX");
  EXPECT_EQ(found[0]->digits, Digits(m));
  for (int i = 0; i < 7; ++i) EXPECT_EQ(found[0]->values[i], expected[i]) << "value " << i;
  QVMutexDestroy(m);
}

TEST_F(LockStats, OrderIsKindThenAddressAndDestroyedMutexesStayUntilTheNextReset) {
  std::vector<QVMUTEX> mutexes;
  std::vector<std::string> names;
  for (int i = 0; i < 8; ++i) {
    mutexes.push_back(Measured(names.emplace_back(qvtest::UniqueName("ls-order"))));
    QVMutexAcquire(mutexes[i]), QVMutexRelease(mutexes[i]);
  }
  for (int i = 0; i < 8; i += 2) EXPECT_EQ(QVMutexDestroy(mutexes[i]), 0);
  QVLockStats stats{};
  ASSERT_EQ(QVGetLockStats(mutexes[0], &stats), QV_S_OK);  // the statistics entry keeps the object
  EXPECT_EQ(stats.acquireCount, 1);
  QVMutexAcquire(mutexes[1]);  // a hold across the reset counts at its release
  auto reports = DumpAndParse("order");
  const auto& entries = reports.at(0).entries;
  auto rank = [](const std::string& kind) { return kind == "QV_MUTEX" ? 0 : kind == "QV_DEL_MUTEX" ? 4 : 99; };
  for (size_t i = 1; i < entries.size(); ++i) {
    int a = rank(entries[i - 1].kind), b = rank(entries[i].kind);
    EXPECT_TRUE(a < b || (a == b && entries[i - 1].digits < entries[i].digits)) << i;  // same width: text order
  }
  auto deleted = Find(reports[0], names[0]);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0]->kind, "QV_DEL_MUTEX");
  EXPECT_EQ(deleted[0]->values[3], 1);

  EXPECT_EQ(QVResetLockStats(), QV_S_OK);
  QVSleep(2);
  QVMutexRelease(mutexes[1]);
  reports = DumpAndParse("after reset");
  ASSERT_EQ(reports.size(), 2u);  // appended: the first report is kept
  for (const Entry& e : reports[1].entries) EXPECT_NE(e.kind, "QV_DEL_MUTEX");
  auto live = Find(reports[1], names[3]), held = Find(reports[1], names[1]);
  ASSERT_TRUE(live.size() == 1 && held.size() == 1);
  for (int64_t v : live[0]->values) EXPECT_EQ(v, 0);
  EXPECT_EQ(held[0]->values[0], 1);
  EXPECT_EQ(held[0]->values[3], 0);
  EXPECT_GE(held[0]->values[1], 1000);
  for (int i = 1; i < 8; i += 2) QVMutexDestroy(mutexes[i]);
}

TEST_F(LockStats, BadArgumentsAndFailedDumpsGetTheirExactResult) {
  QVMUTEX plain = nullptr, excluded = nullptr;
  std::string excludedName = qvtest::UniqueName("ls-excluded");
  ASSERT_EQ(QVMutexCreate("ls-plain", 0, &plain), QV_S_OK);
  ASSERT_EQ(QVMutexCreate(excludedName.c_str(), QV_MUTEX_STATS | QV_MUTEX_NOSTATS, &excluded), QV_S_OK);
  QVLockStats stats;
  std::memset(&stats, 0x5A, sizeof stats);
  EXPECT_EQ(QVGetLockStats(plain, &stats), QV_E_NOTIMPL);
  EXPECT_EQ(QVGetLockStats(excluded, &stats), QV_E_NOTIMPL);
  EXPECT_EQ(stats.acquireCount, 0x5A5A5A5A5A5A5A5ALL);  // untouched
  EXPECT_EQ(QVGetLockStats(nullptr, &stats), QV_E_HANDLE);
  EXPECT_EQ(QVGetLockStats(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE), &stats), QV_E_HANDLE);
  EXPECT_EQ(QVGetLockStats(plain, nullptr), QV_E_INVALIDARG);
  // A lone surrogate has no narrow form; it must not turn into another name.
  EXPECT_EQ(QVDumpLockStats("x", (W(m_dir.path() + "/bad") + u"\xD800" + u".csv").c_str()), QV_E_INVALIDARG);
  std::string missing = m_dir.File("no-such-dir/stats.csv");
  EXPECT_EQ(QVDumpLockStats("x", W(missing).c_str()), QV_E_FAIL);
  EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
  auto other = std::async(std::launch::async, [&] { return DumpAndParse("other"); });
  ASSERT_EQ(other.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the failed dump kept its lock";
  auto reports = other.get();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(Find(reports[0], excludedName).empty());
  QVMutexDestroy(plain), QVMutexDestroy(excluded);
}

TEST_F(LockStats, CsvQuotesNamesWithSpecialCharactersAndTheFileIsNotInherited) {
  struct Row {
    std::string name, written;  // after "QV_MUTEX:0x<digits>"; a quoted entry opens with a quote
  };
  for (const Row& r : {Row{"plain name", "(plain name),"}, Row{"a,b", "(a,b)\","},
                       Row{"say \"hi\"", "(say \"\"hi\"\")\","}, Row{"two\nlines", "(two\nlines)\","},
                       Row{"cr\rhere", "(cr\rhere)\","}}) {
    QVResetLockStats();
    std::remove(m_file.c_str());
    QVMUTEX m = Measured(r.name);
    ASSERT_EQ(QVDumpLockStats("csv", W(m_file).c_str()), QV_S_OK);
    const char* before = r.written[r.written.size() - 2] == '"' ? "\"" : "\n";
    EXPECT_NE(qvtest::ReadFile(m_file).find(before + ("QV_MUTEX:0x" + Digits(m)) + r.written), std::string::npos);
    QVMutexDestroy(m);
  }
#if !defined(_WIN32)  // descriptor flags under /proc are POSIX-only
  qv::os::AppendFile file;
  ASSERT_TRUE(file.Open(std::u16string(m_file.begin(), m_file.end())));
  int flags = -1;  // of the descriptor /proc shows for that file
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(fd.path(), ec) == m_file) flags = fcntl(std::stoi(fd.path().filename()), F_GETFD);
  }
  ASSERT_NE(flags, -1);
  EXPECT_NE(flags & FD_CLOEXEC, 0);
#endif
}

TEST_F(LockStats, DumpsWhileOtherThreadsCreateUseAndDestroy) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t)
    workers.emplace_back([&stop] {
      for (int rounds = 0; !stop || rounds < 50; ++rounds) {
        QVMUTEX m = nullptr;
        if (QVMutexCreate("ls-stress", QV_MUTEX_STATS, &m) != QV_S_OK) break;
        QVMutexAcquire(m), QVMutexRelease(m), QVMutexDestroy(m);
      }
    });
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(QVDumpLockStats("stress", W(m_file).c_str()), QV_S_OK);
    QVResetLockStats();
  }
  stop = true;
  for (auto& w : workers) w.join();
  auto reports = ParseDumps(m_file);
  EXPECT_EQ(reports.size(), 5u);
  for (const Report& r : reports)
    for (const Entry* e : Find(r, "ls-stress")) EXPECT_LE(e->values[0], e->values[3] + 1);  // releases trail acquisitions
}

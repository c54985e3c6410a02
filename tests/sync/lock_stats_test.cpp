#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

struct Entry {
  std::string kind;
  std::string digits;
  std::string name;
  int64_t values[7];  // held count, total held, max held, acquire count, total acquire, max acquire, contention
};

struct Report {
  std::string label;
  std::string stamp;
  std::vector<Entry> entries;
};

const char kHeader[] =
    "Name/Handle,Held Count,Total Held Time,Max Held Time,Acquire Count,Total Acquire Time,Max Acquire Time,"
    "Contention Count";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Parses a statistics file strictly, one report after another: begin line
// with label and "MM/DD/YYYY hh:mm:ss" stamp, frequency, header, entries
// "KIND:0xDIGITS(NAME),v1,...,v7", end line repeating the begin, two empty lines.
std::vector<Report> ParseDumps(const std::string& path) {
  static const std::regex begin(R"(BeginLockStatistics: (.*) - (\d\d/\d\d/\d{4} \d\d:\d\d:\d\d))");
  static const std::regex entry(R"(([A-Z_]+):0x([0-9A-F]+)\((.*)\),(0|[1-9]\d*),(0|[1-9]\d*),(0|[1-9]\d*),(0|[1-9]\d*),(0|[1-9]\d*),(0|[1-9]\d*),(0|[1-9]\d*))");
  std::string text = ReadAll(path);
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "the file ends in the middle of a line";
  std::vector<std::string> lines;
  for (size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  std::vector<Report> reports;
  std::smatch m;
  for (size_t i = 0; i < lines.size();) {
    if (!std::regex_match(lines[i], m, begin) || i + 2 >= lines.size()) {
      ADD_FAILURE() << "line " << i << " does not begin a whole report: " << lines[i];
      return reports;
    }
    Report r{m[1], m[2], {}};
    EXPECT_EQ(lines[i + 1], "CPU Frequency,1000000");
    EXPECT_EQ(lines[i + 2], kHeader);
    for (i += 3; i < lines.size() && std::regex_match(lines[i], m, entry); ++i) {
      Entry e{m[1], m[2], m[3], {}};
      EXPECT_EQ(e.digits.size(), sizeof(void*) * 2) << lines[i];
      for (int v = 0; v < 7; ++v) e.values[v] = std::stoll(m[4 + v]);
      r.entries.push_back(e);
    }
    if (i + 2 >= lines.size()) {
      ADD_FAILURE() << "no end line or missing empty lines";
      return reports;
    }
    EXPECT_EQ(lines[i], "EndLockStatistics: " + r.label + " - " + r.stamp);
    EXPECT_EQ(lines[i + 1] + lines[i + 2], "");
    i += 3;
    reports.push_back(r);
  }
  return reports;
}

std::u16string W(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Digits(QVMUTEX handle) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*" PRIXPTR, static_cast<int>(sizeof(void*) * 2),
                reinterpret_cast<uintptr_t>(handle));
  return buffer;
}

const Entry* Find(const Report& r, const std::string& name) {
  for (const Entry& e : r.entries)
    if (e.name == name) return &e;
  return nullptr;
}

int Count(const Report& r, const std::string& name) {
  int n = 0;
  for (const Entry& e : r.entries) n += e.name == name;
  return n;
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

TEST_F(LockStats, DumpWithoutMeasuredMutexesIsHeaderAndEndOnly) {
  QVTime before{}, after{};
  QVTimeGetLocal(&before);
  auto reports = DumpAndParse("empty");
  QVTimeGetLocal(&after);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].label, "empty");
  EXPECT_TRUE(reports[0].entries.empty());
  std::string text = ReadAll(m_file);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);

  // The stamp is local time, month first.
  unsigned mo, d, y, h, mi, s;
  ASSERT_EQ(std::sscanf(reports[0].stamp.c_str(), "%u/%u/%u %u:%u:%u", &mo, &d, &y, &h, &mi, &s), 6);
  auto asNumber = [](unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) {
    return ((((y * 13ULL + mo) * 32 + d) * 24 + h) * 60 + mi) * 60 + s;
  };
  uint64_t stamp = asNumber(y, mo, d, h, mi, s);
  EXPECT_GE(stamp, asNumber(before.year, before.month, before.day, before.hour, before.minute, before.second));
  EXPECT_LE(stamp, asNumber(after.year, after.month, after.day, after.hour, after.minute, after.second));
}

TEST_F(LockStats, EntryCarriesHandleNameAndNumbersInFileOrder) {
  std::string name = qvtest::UniqueName("ls-fields");
  QVMUTEX m = Measured(name);
  QVMutexAcquire(m);
  QVMutexAcquire(m);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  QVMutexRelease(m);
  QVMutexRelease(m);
  QVMutexAcquire(m);
  QVMutexRelease(m);
  QVLockStats stats{};
  ASSERT_EQ(QVGetLockStats(m, &stats), QV_S_OK);
  EXPECT_EQ(stats.acquireCount, 3);
  EXPECT_EQ(stats.heldCount, 3);
  EXPECT_GE(stats.totalHeldTime, 2000);

  auto reports = DumpAndParse("fields");
  ASSERT_EQ(reports.size(), 1u);
  const Entry* e = Find(reports[0], name);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->kind, "QV_MUTEX");
  EXPECT_EQ(e->digits, Digits(m));
  const int64_t expected[7] = {stats.heldCount,    stats.totalHeldTime,    stats.maxHeldTime,    stats.acquireCount,
                               stats.totalAcquireTime, stats.maxAcquireTime, stats.contentionCount};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(e->values[i], expected[i]) << "value " << i;
  EXPECT_EQ(QVMutexDestroy(m), 0);
}

TEST_F(LockStats, EntriesAreOrderedByKindThenAddress) {
  std::vector<QVMUTEX> mutexes;
  for (int i = 0; i < 8; ++i) mutexes.push_back(Measured(qvtest::UniqueName("ls-order")));
  for (int i = 0; i < 8; i += 2) EXPECT_EQ(QVMutexDestroy(mutexes[i]), 0);
  auto reports = DumpAndParse("order");
  ASSERT_EQ(reports.size(), 1u);
  const auto& entries = reports[0].entries;
  ASSERT_GE(entries.size(), 8u);
  auto rank = [](const std::string& kind) { return kind == "QV_MUTEX" ? 0 : kind == "QV_DEL_MUTEX" ? 4 : 99; };
  for (size_t i = 1; i < entries.size(); ++i) {
    int a = rank(entries[i - 1].kind), b = rank(entries[i].kind);
    EXPECT_TRUE(a < b || (a == b && entries[i - 1].digits < entries[i].digits)) << i;  // same width: text order
  }
  for (int i = 1; i < 8; i += 2) QVMutexDestroy(mutexes[i]);
}

TEST_F(LockStats, DestroyedMutexIsListedUntilTheNextResetLiveOneIsCleared) {
  std::string name = qvtest::UniqueName("ls-deleted"), liveName = qvtest::UniqueName("ls-live");
  QVMUTEX m = Measured(name), live = Measured(liveName);
  for (QVMUTEX x : {m, live}) {
    QVMutexAcquire(x);
    QVMutexRelease(x);
  }
  EXPECT_EQ(QVMutexDestroy(m), 0);
  // The statistics entry keeps the object, so its numbers stay readable.
  QVLockStats stats{};
  ASSERT_EQ(QVGetLockStats(m, &stats), QV_S_OK);
  EXPECT_EQ(stats.acquireCount, 1);

  auto reports = DumpAndParse("deleted");
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_EQ(Count(reports[0], name), 1);
  EXPECT_EQ(Find(reports[0], name)->kind, "QV_DEL_MUTEX");
  EXPECT_EQ(Find(reports[0], name)->values[3], 1);

  EXPECT_EQ(QVResetLockStats(), QV_S_OK);
  reports = DumpAndParse("after reset");
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(Count(reports[0], name), 1);  // the second dump appended: the first report is kept
  EXPECT_EQ(Count(reports[1], name), 0);
  for (const Entry& e : reports[1].entries) EXPECT_NE(e.kind, "QV_DEL_MUTEX");
  const Entry* e = Find(reports[1], liveName);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->kind, "QV_MUTEX");
  for (int64_t v : e->values) EXPECT_EQ(v, 0);
  QVMutexDestroy(live);
}

TEST_F(LockStats, MutexHeldAcrossResetReportsItsHeldTimeAtRelease) {
  QVMUTEX m = Measured(qvtest::UniqueName("ls-held"));
  QVMutexAcquire(m);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  QVResetLockStats();
  QVMutexRelease(m);
  QVLockStats stats{};
  ASSERT_EQ(QVGetLockStats(m, &stats), QV_S_OK);
  EXPECT_EQ(stats.heldCount, 1);
  EXPECT_EQ(stats.acquireCount, 0);
  EXPECT_GE(stats.totalHeldTime, 19000);
  EXPECT_EQ(stats.maxHeldTime, stats.totalHeldTime);
  QVMutexDestroy(m);
}

TEST_F(LockStats, ContentionAndWaitAreMeasured) {
  std::string name = qvtest::UniqueName("ls-contended");
  QVMUTEX m = Measured(name);
  QVMutexAcquire(m);
  std::thread waiter([&] {
    QVMutexAcquire(m);
    QVMutexRelease(m);
  });
  EXPECT_TRUE(qvtest::WaitUntil([&] { return qvtest::LockHasWaiter(QVMutexGetOSMutex(m)); }));
  QVSleep(20);  // a hold long enough to measure
  QVMutexRelease(m);
  waiter.join();
  auto reports = DumpAndParse("contended");
  const Entry* e = Find(reports.at(0), name);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->values[0], 2);      // held count
  EXPECT_EQ(e->values[3], 2);      // acquire count
  EXPECT_EQ(e->values[6], 1);      // contention count
  EXPECT_GT(e->values[5], 0);      // max acquire time
  EXPECT_GE(e->values[2], 19000);  // the holder kept it at least this long
  QVMutexDestroy(m);
}

TEST_F(LockStats, NullLabelAndFileNameUseTheDefaults) {
  auto saved = std::filesystem::current_path();
  std::filesystem::current_path(m_dir.path());
  QVRESULT r = QVDumpLockStats(nullptr, nullptr);
  std::filesystem::current_path(saved);
  ASSERT_EQ(r, QV_S_OK);
  auto reports = ParseDumps(m_dir.File("qvlockstats.csv"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].label, "LockStatsDump");
}

TEST_F(LockStats, MissingDirectoryFailsAndReleasesTheLock) {
  std::string missing = m_dir.File("no-such-dir/stats.csv");
  EXPECT_EQ(QVDumpLockStats("x", W(missing).c_str()), QV_E_FAIL);
  EXPECT_FALSE(std::filesystem::exists(missing));
  auto other = std::async(std::launch::async, [&] { return QVDumpLockStats("other", W(m_file).c_str()); });
  ASSERT_EQ(other.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the failed dump kept its lock";
  EXPECT_EQ(other.get(), QV_S_OK);
  EXPECT_EQ(ParseDumps(m_file).size(), 1u);
}

TEST_F(LockStats, BadArgumentsGetClearResults) {
  QVMUTEX plain = nullptr, excluded = nullptr;
  ASSERT_EQ(QVMutexCreate("ls-plain", 0, &plain), QV_S_OK);
  std::string excludedName = qvtest::UniqueName("ls-excluded");
  ASSERT_EQ(QVMutexCreate(excludedName.c_str(), QV_MUTEX_STATS | QV_MUTEX_NOSTATS, &excluded), QV_S_OK);
  QVLockStats stats;
  std::memset(&stats, 0x5A, sizeof stats);
  EXPECT_EQ(QVGetLockStats(plain, &stats), QV_E_NOTIMPL);
  EXPECT_EQ(QVGetLockStats(excluded, &stats), QV_E_NOTIMPL);
  EXPECT_EQ(stats.acquireCount, 0x5A5A5A5A5A5A5A5ALL);  // untouched
  EXPECT_EQ(QVGetLockStats(nullptr, &stats), QV_E_HANDLE);
  EXPECT_EQ(QVGetLockStats(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE), &stats), QV_E_HANDLE);
  EXPECT_EQ(QVGetLockStats(plain, nullptr), QV_E_INVALIDARG);

  auto reports = DumpAndParse("excluded");
  EXPECT_EQ(Find(reports.at(0), excludedName), nullptr);

  // A lone surrogate has no narrow form; it must not turn into another name.
  std::u16string unencodable = W(m_dir.path() + "/bad") + u"\xD800" + u".csv";
  EXPECT_EQ(QVDumpLockStats("x", unencodable.c_str()), QV_E_INVALIDARG);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1);  // only stats.csv
  QVMutexDestroy(plain);
  QVMutexDestroy(excluded);
}

TEST_F(LockStats, DumpsWhileOtherThreadsCreateUseAndDestroy) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t)
    workers.emplace_back([&stop] {
      int rounds = 0;
      while (!stop || rounds < 50) {
        QVMUTEX m = nullptr;
        if (QVMutexCreate("ls-stress", QV_MUTEX_STATS, &m) != QV_S_OK) break;
        QVMutexAcquire(m);
        QVMutexRelease(m);
        QVMutexDestroy(m);
        ++rounds;
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
    for (const Entry& e : r.entries)
      if (e.name == "ls-stress") {
        EXPECT_LE(e.values[0], e.values[3] + 1);  // releases trail acquisitions
      }
}

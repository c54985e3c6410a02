// Demo sections: clocks and system information; lock statistics.
#include <qvcore5/qvcore.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "demo.h"

namespace demo {

namespace {

std::string Narrow(const QVWCHAR* s) {
  std::string out;
  for (; *s; ++s) out.push_back(*s < 0x80 ? static_cast<char>(*s) : '?');
  return out;
}

void PrintTime(const char* what, const QVTime& t) {
  std::printf("  %-22s %04u-%02u-%02u %02u:%02u:%02u.%03u (day of week %u)\n", what, t.year, t.month, t.day, t.hour,
              t.minute, t.second, t.milliseconds, t.dayOfWeek);
}

}  // namespace

void TimeSection() {
  Say("\n== Clocks, time and system information ==");
  QVTime utc{}, local{};
  QVTimeGetSystem(&utc);
  QVTimeGetLocal(&local);
  PrintTime("UTC now:", utc);
  PrintTime("local time now:", local);

  QVTimeZone zone{};
  QVRESULT r = QVTimeGetZone(&zone);
  std::printf("  zone: standard name \"%s\", daylight name \"%s\", daylight time %s, UTC = local %+d s\n",
              Narrow(zone.standardName).c_str(), Narrow(zone.daylightName).c_str(), zone.daylight ? "in force" : "not in force",
              zone.bias);
  Check(r == QV_S_OK, "read the time zone of the C runtime (TZ honoured)");

  int64_t stamp = 0;
  QVTimeGetPreciseTimestamp(&stamp);
  QVTimeOfDay tod{};
  QVTimeGetTimeOfDay(&tod);
  std::printf("  precise timestamp: %" PRId64 " ns since 1970; time of day %" PRId64 ".%09" PRId64 " s\n", stamp,
              tod.seconds, tod.nanoseconds);
  Check(tod.seconds >= stamp / 1000000000, "the time of day is the timestamp split into seconds and nanoseconds");

  int32_t posix = 0;
  QVTime noMs = local;
  noMs.milliseconds = 0;
  r = QVTimeToPosix(&noMs, &posix);
  QVTime back{};
  QVTimeFromPosix(posix, &back);
  std::printf("  local time as 32-bit POSIX seconds: %" PRId32 "\n", posix);
  Check(r == QV_S_OK && back.hour == local.hour && back.minute == local.minute && back.second == local.second,
        "local time -> POSIX seconds -> local time gives the same time");
  QVTime bad = local;
  bad.month = 13;
  r = QVTimeToPosix(&bad, &posix);
  std::printf("  month 13 handed to QVTimeToPosix: 0x%08" PRIX32 ", seconds %" PRId32 "\n", static_cast<uint32_t>(r), posix);
  Check(r == QV_E_INVALIDARG && posix == -1, "a record with month 13 is refused instead of rolling into next year");
  r = QVTimeFromPosix(-1, &back);
  Check(r == QV_E_FAIL, "a time before 1970 has no 32-bit POSIX form: 0x80004005");

  int64_t frequency = QVPerfGetFreq();
  int64_t c0 = QVPerfGetCount();
  uint32_t m0 = QVPerfGetCountMS();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  int64_t c1 = QVPerfGetCount();
  uint32_t m1 = QVPerfGetCountMS();
  std::printf("  a 20 ms sleep: %.3f ms by the performance counter (%" PRId64 " counts/s), %" PRIu32
              " ms by the tick count\n",
              1000.0 * static_cast<double>(c1 - c0) / static_cast<double>(frequency), frequency, m1 - m0);
  Check(c1 > c0 && m1 - m0 >= 19, "the performance counter and the tick count both measured the sleep");

  QVSystemInfo info{};
  r = QVGetSystemInfo(&info);
  std::printf("  memory: %" PRIu64 " MiB physical (%" PRIu64 " MiB available), %" PRIu64 " GiB address space\n",
              info.totalPhysicalMemory >> 20, info.availablePhysicalMemory >> 20, info.totalVirtualMemory >> 30);
  std::printf("  %u processors, type %u, level %u, revision 0x%04X; page size %u; platform 0x%X, version %u.%u.%u\n",
              info.numberOfProcessors, info.processorType, info.processorLevel, info.processorRevision, info.pageSize,
              info.platformId, info.majorVersion, info.minorVersion, info.buildNumber);
  Check(r == QV_S_OK && info.platformId == QV_PLATFORM_LINUX, "read the system information");

  QVWCHAR user[256];
  r = QVGetUserName(user, 256);
  std::printf("  user: %s\n", r == QV_S_OK ? Narrow(user).c_str() : "(unknown)");
  Check(r == QV_S_OK, "the user name is host\\login");
  QVWCHAR tiny[2];
  r = QVGetUserName(tiny, 2);
  Check(r == QV_E_FAIL, "a buffer of two units is too small: 0x80004005");
}

void LockStatsSection() {
  Say("\n== Lock statistics ==");
  QVMUTEX orders = nullptr, cache = nullptr;
  Check(QVMutexCreate("demo::orders", QV_MUTEX_STATS, &orders) == QV_S_OK &&
            QVMutexCreate("demo::cache", QV_MUTEX_STATS | QV_MUTEX_CHECKED, &cache) == QV_S_OK,
        "created two measured mutexes");
  for (int i = 0; i < 3; ++i) {
    QVMutexAcquire(cache);
    QVMutexRelease(cache);
  }
  // A second thread holds "orders" for a while, so the main thread waits.
  std::atomic<bool> held{false};
  std::thread worker([&] {
    QVMutexAcquire(orders);
    held = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    QVMutexRelease(orders);
  });
  while (!held) std::this_thread::yield();
  QVMutexAcquire(orders);
  QVMutexRelease(orders);
  worker.join();
  QVLockStats stats{};
  QVGetLockStats(orders, &stats);
  std::printf("  demo::orders: %" PRId64 " acquisitions, %" PRId64 " contended, longest wait %" PRId64 " us\n",
              stats.acquireCount, stats.contentionCount, stats.maxAcquireTime);
  Check(stats.contentionCount == 1, "the main thread's wait for the worker was counted");
  Check(QVMutexDestroy(cache) == 0, "destroyed demo::cache; its numbers stay listed until the next reset");

  std::mt19937_64 random(std::random_device{}());
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qvdemo-" + std::to_string(random() % 1000000000ULL));
  std::error_code ec;
  std::filesystem::create_directory(dir, ec);
  std::filesystem::path file = dir / "lockstats.csv";
  QVRESULT r = QVDumpLockStats("qvdemo", file.u16string().c_str());
  Check(r == QV_S_OK, "dumped the lock statistics");
  std::printf("  contents of %s:\n", file.c_str());
  std::ifstream in(file);
  std::string line, all;
  while (std::getline(in, line)) {
    std::printf("    | %s\n", line.c_str());
    all += line + "\n";
  }
  Check(all.find("QV_MUTEX:0x") != std::string::npos && all.find("(demo::orders),2,") != std::string::npos,
        "demo::orders is listed as a live mutex, held twice");
  Check(all.find("QV_DEL_MUTEX:0x") != std::string::npos && all.find("(demo::cache),3,") != std::string::npos,
        "demo::cache is listed as destroyed, held three times");
  r = QVDumpLockStats("qvdemo", (dir / "missing" / "x.csv").u16string().c_str());
  std::printf("  a dump into a folder that does not exist returned 0x%08" PRIX32 "\n", static_cast<uint32_t>(r));
  Check(r == QV_E_FAIL, "the failed dump reported 0x80004005");
  std::filesystem::remove_all(dir, ec);

  QVResetLockStats();
  QVMutexDestroy(orders);
  QVResetLockStats();
}

}  // namespace demo

// The lock-statistics file that QVDumpLockStats appends to: one or more dumps,
// each a begin line, CSV records (names quoted when they hold , " CR or LF)
// and an end line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qvlockstat {

struct MutexStats {
  std::string name;
  std::string handle;  // hexadecimal digits
  bool destroyed = false;
  int64_t heldCount = 0, totalHeld = 0, maxHeld = 0;
  int64_t acquireCount = 0, totalWait = 0, maxWait = 0;
  int64_t contention = 0;
};

struct Dump {
  std::string label;
  std::string stamp;
  int64_t ticksPerSecond = 1000000;
  std::vector<MutexStats> mutexes;
  int line = 0;  // of its begin line
};

// false with "line N: reason" for a file that does not read as dumps.
bool ParseLockStats(const std::string& text, std::vector<Dump>& dumps, std::string& error);

// One CSV record starting at `at` (fields unquoted); `at` moves past its line end.
std::vector<std::string> NextRecord(const std::string& text, size_t& at, int& line);

}  // namespace qvlockstat

// Ordering the mutexes of a dump and showing them as a table.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "lockstat_file.h"

namespace qvlockstat {

enum class SortKey { kWait, kHeld, kContention };

// The dump's mutexes, worst first by `key`, at most `top` of them (0: all).
std::vector<MutexStats> Ranked(const Dump& dump, SortKey key, size_t top);
// "12 us", "3.40 ms", "1.25 s", "2.0 min".
std::string ReadableTime(int64_t ticks, int64_t ticksPerSecond);
// A name as one line: line breaks and other control characters escaped.
std::string OneLine(const std::string& name);
void PrintTable(std::FILE* out, const Dump& dump, const std::vector<MutexStats>& rows);

}  // namespace qvlockstat

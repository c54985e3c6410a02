#include "report.h"

#include <algorithm>

namespace qvlockstat {

namespace {

int64_t SortValue(const MutexStats& m, SortKey key) {
  switch (key) {
    case SortKey::kWait: return m.totalWait;
    case SortKey::kHeld: return m.totalHeld;
    case SortKey::kContention: return m.contention;
  }
  return 0;
}

// Width on a terminal: UTF-8 continuation bytes take no column.
size_t Columns(const std::string& s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

std::vector<MutexStats> Ranked(const Dump& dump, SortKey key, size_t top) {
  std::vector<MutexStats> rows = dump.mutexes;
  std::stable_sort(rows.begin(), rows.end(), [key](const MutexStats& a, const MutexStats& b) {
    int64_t x = SortValue(a, key), y = SortValue(b, key);
    if (x != y) return x > y;
    if (a.totalWait != b.totalWait) return a.totalWait > b.totalWait;
    return a.totalHeld > b.totalHeld;
  });
  if (top > 0 && rows.size() > top) rows.resize(top);
  return rows;
}

std::string ReadableTime(int64_t ticks, int64_t ticksPerSecond) {
  double seconds = static_cast<double>(ticks) / static_cast<double>(ticksPerSecond);
  char text[32];
  if (seconds < 1e-3) std::snprintf(text, sizeof text, "%.0f us", seconds * 1e6);
  else if (seconds < 1) std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  else if (seconds < 120) std::snprintf(text, sizeof text, "%.2f s", seconds);
  else std::snprintf(text, sizeof text, "%.1f min", seconds / 60);
  return text;
}

std::string OneLine(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c < 0x20 || c == 0x7F) out += '?';
    else out += static_cast<char>(c);
  }
  return out.empty() ? "(unnamed)" : out;
}

void PrintTable(std::FILE* out, const Dump& dump, const std::vector<MutexStats>& rows) {
  std::fprintf(out, "%s - %s (%zu mutex%s)\n", dump.label.c_str(), dump.stamp.c_str(), dump.mutexes.size(),
               dump.mutexes.size() == 1 ? "" : "es");
  const char* heads[] = {"mutex", "acquired", "contended", "total wait", "max wait", "total held", "max held"};
  std::vector<std::vector<std::string>> cells;
  cells.push_back(std::vector<std::string>(std::begin(heads), std::end(heads)));
  bool anyDestroyed = false;
  for (const MutexStats& m : rows) {
    char percent[32] = "";
    if (m.acquireCount > 0)
      std::snprintf(percent, sizeof percent, " (%.0f%%)", 100.0 * static_cast<double>(m.contention) / static_cast<double>(m.acquireCount));
    anyDestroyed = anyDestroyed || m.destroyed;
    cells.push_back({OneLine(m.name) + (m.destroyed ? " *" : ""), std::to_string(m.acquireCount),
                     std::to_string(m.contention) + percent, ReadableTime(m.totalWait, dump.ticksPerSecond),
                     ReadableTime(m.maxWait, dump.ticksPerSecond), ReadableTime(m.totalHeld, dump.ticksPerSecond),
                     ReadableTime(m.maxHeld, dump.ticksPerSecond)});
  }
  std::vector<size_t> widths(7, 0);
  for (const auto& row : cells)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Columns(row[i]));
  for (const auto& row : cells) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      std::string pad(widths[i] - Columns(row[i]), ' ');
      line += i == 0 ? row[i] + pad : "  " + pad + row[i];  // the name left, numbers right
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(out, "%s\n", line.c_str());
  }
  if (anyDestroyed) std::fprintf(out, "* destroyed by its creator, still counted until the statistics are reset\n");
  std::fprintf(out, "\n");
}

}  // namespace qvlockstat

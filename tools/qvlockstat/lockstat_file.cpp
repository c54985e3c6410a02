#include "lockstat_file.h"

#include <charconv>

namespace qvlockstat {

namespace {

constexpr std::string_view kBegin = "BeginLockStatistics: ";
constexpr std::string_view kEnd = "EndLockStatistics: ";

bool Number(const std::string& field, int64_t& value) {
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  return ec == std::errc() && end == field.data() + field.size();
}

// "QV_MUTEX:0x0000...(name)"
bool ParseNameField(const std::string& field, MutexStats& stats) {
  size_t colon = field.find(":0x");
  if (colon == std::string::npos || field.empty() || field.back() != ')') return false;
  std::string kind = field.substr(0, colon);
  size_t open = field.find('(', colon);
  if (open == std::string::npos) return false;
  stats.destroyed = kind == "QV_DEL_MUTEX";
  stats.handle = field.substr(colon + 3, open - colon - 3);
  stats.name = field.substr(open + 1, field.size() - open - 2);
  return true;
}

}  // namespace

std::vector<std::string> NextRecord(const std::string& text, size_t& at, int& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  while (at < text.size()) {
    char c = text[at++];
    if (quoted) {
      if (c == '"' && at < text.size() && text[at] == '"') {
        fields.back() += '"';
        ++at;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        fields.back() += c;
      }
    } else if (c == '"' && fields.back().empty()) {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == '\n') {
      ++line;
      break;
    } else if (c != '\r' || at >= text.size() || text[at] != '\n') {
      fields.back() += c;
    }
  }
  return fields;
}

bool ParseLockStats(const std::string& text, std::vector<Dump>& dumps, std::string& error) {
  dumps.clear();
  size_t at = 0;
  int line = 1;
  bool inDump = false;
  while (at < text.size()) {
    int recordLine = line;
    size_t lineEnd = text.find('\n', at);
    std::string raw = text.substr(at, lineEnd == std::string::npos ? std::string::npos : lineEnd - at);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(recordLine) + ": " + why;
      return false;
    };
    // Begin and end lines carry the label as it was given, not as CSV.
    bool isEnd = inDump && raw.compare(0, kEnd.size(), kEnd) == 0;
    if (!inDump || isEnd) {
      at = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
      ++line;
      if (isEnd) {
        inDump = false;
        continue;
      }
      if (raw.empty()) continue;
      if (raw.compare(0, kBegin.size(), kBegin) != 0) return fail("expected \"BeginLockStatistics: \"");
      std::string rest = raw.substr(kBegin.size());
      size_t dash = rest.rfind(" - ");
      Dump dump;
      dump.label = dash == std::string::npos ? rest : rest.substr(0, dash);
      dump.stamp = dash == std::string::npos ? "" : rest.substr(dash + 3);
      dump.line = recordLine;
      dumps.push_back(std::move(dump));
      inDump = true;
      continue;
    }
    std::vector<std::string> fields = NextRecord(text, at, line);
    Dump& dump = dumps.back();
    if (fields.size() == 1 && fields[0].empty()) {
      // a blank line
    } else if (fields.size() == 2 && fields[0] == "CPU Frequency") {
      if (!Number(fields[1], dump.ticksPerSecond) || dump.ticksPerSecond <= 0) return fail("bad CPU Frequency");
    } else if (!fields.empty() && fields[0] == "Name/Handle") {
      // the column heads
    } else {
      MutexStats stats;
      int64_t* values[] = {&stats.heldCount,    &stats.totalHeld, &stats.maxHeld,   &stats.acquireCount,
                           &stats.totalWait,    &stats.maxWait,   &stats.contention};
      if (fields.size() != 8 || !ParseNameField(fields[0], stats)) return fail("expected a mutex record of 8 fields");
      for (size_t i = 0; i < 7; ++i) {
        if (!Number(fields[i + 1], *values[i])) return fail("'" + fields[i + 1] + "' is not a number");
      }
      dump.mutexes.push_back(std::move(stats));
    }
  }
  // A dump cut short (its writer failed) still counts with the records it has.
  return true;
}

}  // namespace qvlockstat

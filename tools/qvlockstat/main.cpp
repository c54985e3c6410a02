// qvlockstat: which lock hurts? Reads the file QVDumpLockStats appends to and
// shows the measured mutexes worst first, as a table and optionally as an SVG chart.
#include <qvcore5/qvcore.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "report.h"
#include "svg.h"

namespace {

enum : int32_t { kHelp = 'h', kLabel = 'l', kTop = 't', kSort = 's', kSvg = 'g' };

const QVLongOption kOptions[] = {
    {"help", QV_NO_ARGUMENT, kHelp}, {"label", QV_REQUIRED_ARGUMENT, kLabel}, {"top", QV_REQUIRED_ARGUMENT, kTop},
    {"sort", QV_REQUIRED_ARGUMENT, kSort}, {"svg", QV_REQUIRED_ARGUMENT, kSvg}, {nullptr, 0, 0},
};

// The chart shows this many mutexes when --top is not given.
constexpr size_t kDefaultChartRows = 20;

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: qvlockstat FILE [--label LABEL] [--top N] [--sort wait|held|contention] [--svg OUT]\n"
      "  FILE        the file QVDumpLockStats appends to (qvlockstats.csv by default)\n"
      "  --label L   only the dump labelled L (the last one of that label)\n"
      "  --top N     only the N worst mutexes of each dump (the chart: 20 unless given)\n"
      "  --sort KEY  order by total wait (default), total held time or contention count\n"
      "  --svg OUT   also draw the mutexes as a bar chart into the SVG file OUT\n"
      "Exit status: 0 done, 1 no such file or label, 2 bad command line, 3 unreadable file.\n",
      out);
}

int Usage(const char* why) {
  std::fprintf(stderr, "qvlockstat: %s: 0x80070057 (invalid argument)\n", why);
  PrintUsage(stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QVGetOptionMsgStringRequiresArgument = "qvlockstat: option '%s%s' needs an argument: 0x80070057 (invalid argument)";
  QVGetOptionMsgAmbiguous = "qvlockstat: option '%s%.*s' is ambiguous: 0x80070057 (invalid argument)";
  QVGetOptionMsgNoArgumentAllowed = "qvlockstat: option '%s%.*s' takes no argument: 0x80070057 (invalid argument)";
  QVGetOptionMsgUnrecognized = "qvlockstat: unknown option '%s%s': 0x80070057 (invalid argument)";
  std::optional<std::string> label, svgFile;
  size_t top = 0;
  qvlockstat::SortKey sort = qvlockstat::SortKey::kWait;
  std::vector<const char*> files;
  QVGetOptionIndex = 0;
  for (;;) {
    int32_t option = QVGetOption(argc, argv, kOptions, nullptr);
    if (option == -1) {
      // With POSIXLY_CORRECT set the scan stops at each operand: take it and go on after it.
      int32_t at = QVGetOptionIndex;
      if (at >= argc) break;
      if (at > 0 && std::strcmp(argv[at - 1], "--") == 0) {
        files.insert(files.end(), argv + at, argv + argc);
        break;
      }
      files.push_back(argv[at]);
      QVGetOptionIndex = at + 1;
      QVGetOptionReset = 1;
      continue;
    }
    const char* argument = QVGetOptionArgument;
    switch (option) {
      case kHelp: PrintUsage(stdout); return 0;
      case kLabel: label = argument; break;
      case kSvg: svgFile = argument; break;
      case kTop: {
        char* end = nullptr;
        unsigned long n = std::strtoul(argument, &end, 10);
        if (*argument < '0' || *argument > '9' || *end != 0 || n == 0 || n > 1000000) return Usage("--top needs a number from 1 to 1000000");
        top = n;
        break;
      }
      case kSort:
        if (std::strcmp(argument, "wait") == 0) sort = qvlockstat::SortKey::kWait;
        else if (std::strcmp(argument, "held") == 0) sort = qvlockstat::SortKey::kHeld;
        else if (std::strcmp(argument, "contention") == 0) sort = qvlockstat::SortKey::kContention;
        else return Usage("--sort takes wait, held or contention");
        break;
      default: PrintUsage(stderr); return 2;
    }
  }
  if (files.size() != 1) return Usage("give exactly one FILE");
  const char* file = files[0];
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qvlockstat: cannot read %s: 0x80070002 (not found)\n", file);
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<qvlockstat::Dump> dumps;
  std::string error;
  if (!qvlockstat::ParseLockStats(text, dumps, error)) {
    std::fprintf(stderr, "qvlockstat: %s: %s: 0x8007000D (invalid data)\n", file, error.c_str());
    return 3;
  }
  std::vector<const qvlockstat::Dump*> chosen;
  for (const auto& dump : dumps) {
    if (!label) chosen.push_back(&dump);
    else if (dump.label == *label) chosen.assign(1, &dump);
  }
  if (chosen.empty()) {
    std::fprintf(stderr, "qvlockstat: %s: %s: 0x80070002 (not found)\n", file,
                 label ? ("no dump labelled '" + *label + "'").c_str() : "no dump in the file");
    return 1;
  }
  std::vector<qvlockstat::Chart> charts;
  for (const qvlockstat::Dump* dump : chosen) {
    qvlockstat::PrintTable(stdout, *dump, qvlockstat::Ranked(*dump, sort, top));
    charts.push_back({dump, qvlockstat::Ranked(*dump, sort, top ? top : kDefaultChartRows)});
  }
  if (svgFile) {
    std::ofstream out(*svgFile, std::ios::binary | std::ios::trunc);
    out << qvlockstat::RenderSvg(charts);
    out.close();
    if (!out) {
      std::fprintf(stderr, "qvlockstat: cannot write %s: 0x80004005 (failed)\n", svgFile->c_str());
      return 3;
    }
  }
  return 0;
}

// Demo section: the command line through QVGetOption, the user's locale and
// encoding, and the full path of a relative name.
#include <qvcore5/qvcore.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "demo.h"

namespace demo {

namespace {

enum : int32_t { kHelp = 'h', kVerbose = 'v', kName = 'n' };

const QVLongOption kOptions[] = {
    {"help", QV_NO_ARGUMENT, kHelp},
    {"verbose", QV_NO_ARGUMENT, kVerbose},
    {"name", QV_REQUIRED_ARGUMENT, kName},
    {nullptr, 0, 0},
};

void PrintUsage(const char* program) {
  std::printf(
      "usage: %s [--help] [--verbose] [--name FILE] [ARGUMENT...]\n"
      "  --help       print this text and exit\n"
      "  --verbose    say more about how the command line was read\n"
      "  --name FILE  the relative name whose full path is shown (default data.ini)\n"
      "Options may be abbreviated (--verb) and given with one dash (-verbose).\n",
      program);
}

// UTF-16 text of the library to the terminal; the demo's names are ASCII.
std::string Narrow(const QVWCHAR* s) {
  std::string out;
  for (; *s != 0; ++s) out += *s < 0x80 ? static_cast<char>(*s) : '?';
  return out;
}

}  // namespace

void OptionsSection(int argc, char** argv) {
  bool verbose = false;
  const char* name = "data.ini";
  std::string seenOptions;  // shown under the heading, once --help is ruled out
  QVGetOptionIndex = 0;  // a fresh scan
  for (;;) {
    int32_t which = -1;
    int32_t option = QVGetOption(argc, argv, kOptions, &which);
    if (option == -1) break;
    switch (option) {
      case kHelp:
        PrintUsage(argc > 0 ? argv[0] : "qvdemo");
        std::fflush(stdout);
        std::exit(0);
      case kVerbose:
        verbose = true;
        break;
      case kName:
        name = QVGetOptionArgument;
        break;
      default:  // the library has already said what was wrong on standard error
        PrintUsage(argc > 0 ? argv[0] : "qvdemo");
        std::fflush(stdout);
        std::exit(2);
    }
    seenOptions += std::string("  option --") + kOptions[which].name +
                   (QVGetOptionArgument ? std::string(" = ") + QVGetOptionArgument : std::string()) + "\n";
  }
  Say("\n== Command line, locale and paths ==");
  if (verbose) std::printf("%s", seenOptions.c_str());
  std::printf("  %d argument(s) after the options\n", argc - QVGetOptionIndex);
  if (verbose)
    for (int i = QVGetOptionIndex; i < argc; ++i) std::printf("    %s\n", argv[i]);

  // A vector of our own, to show how non-options are gathered behind the options.
  char e0[] = "prog", e1[] = "in.txt", e2[] = "-verb", e3[] = "out.txt", e4[] = "--name=x", e5[] = "--", e6[] = "--help";
  char* sample[] = {e0, e1, e2, e3, e4, e5, e6, nullptr};
  QVGetOptionIndex = 0;
  int seen = 0;
  while (QVGetOption(7, sample, kOptions, nullptr) != -1) ++seen;
  std::printf("  parsed: prog in.txt -verb out.txt --name=x -- --help\n  became:");
  for (int i = 0; i < 7; ++i) std::printf(" %s", sample[i]);
  std::printf("  (first non-option at %d)\n", QVGetOptionIndex);
  Check(seen == 2 && QVGetOptionIndex == 4, "two options found, the non-options moved behind them, \"--\" ended the scan");

  QVWCHAR text[64];
  QVRESULT r = QVGetDefaultLocale(text, 64);
  Check(r == QV_S_OK, "asked for the user's locale");
  if (r == QV_S_OK) std::printf("  user locale: %s (from LC_ALL, LC_MESSAGES or LANG)\n", Narrow(text).c_str());
  r = QVGetDefaultCharEncoding(text, 64);
  Check(r == QV_S_OK, "asked for the narrow character encoding");
  if (r == QV_S_OK) std::printf("  encoding: %s\n", Narrow(text).c_str());

  std::u16string wideName;
  for (const char* p = name; *p != '\0'; ++p) wideName += static_cast<char16_t>(static_cast<unsigned char>(*p));
  QVWCHAR full[4096];
  r = QVPathExpand(reinterpret_cast<const QVWCHAR*>(wideName.c_str()), full, 4096);
  Check(r == QV_S_OK, "expanded a relative name to its full path");
  if (r == QV_S_OK) std::printf("  %s -> %s\n", name, Narrow(full).c_str());
  QVWCHAR tiny[4];
  Check(QVPathExpand(u"data.ini", tiny, 4) == QV_E_BUFFERTOOSMALL, "a buffer too small is reported as 0x80004009");
}

}  // namespace demo

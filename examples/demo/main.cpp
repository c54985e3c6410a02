// qvdemo: walks through what the library offers, one step at a time, and says
// in plain words what each step did.
#include <qvcore5/qvcore.h>

#include <cstdio>
#include <string>

#include "demo.h"

namespace demo {

namespace {
int s_failures = 0;
}

void Say(const char* text) { std::printf("%s\n", text); }

void Check(bool ok, const char* what) {
  std::printf("  [%s] %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++s_failures;
}

int Failures() { return s_failures; }

}  // namespace demo

using namespace demo;

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == kChildMode) return ChildMain();
  Say("qvdemo: the qvcore5 core services library at work.");
  Say("The library started itself when it was loaded.");
  OptionsSection(argc, argv);  // first: --help ends the demo here
  MutexSection();
  RWLockSection();
  ResultSection();
  TraceSection();
  TimeSection();
  LockStatsSection();
  ThreadSection();
  TextSection();
  FileSection();
  ProcessSection();
  RegistrySection();
  NetSection();
  ComponentSection();
  std::printf("\n%s\n", Failures() == 0 ? "Everything behaved as expected." : "Some steps did not behave as expected.");
  return Failures() == 0 ? 0 : 1;
}

// qvreg: reads and changes the registry of qvcore5 from the command line,
// and moves keys in and out of registry-editor files.
#include <cstdio>

#include "command_line.h"
#include "commands.h"
#include "registry.h"

int main(int argc, char** argv) {
  qvreg::Command command;
  std::string error;
  if (!qvreg::ParseCommandLine(argc, argv, command, error)) {
    if (!error.empty())
      std::fprintf(stderr, "qvreg: %s: %s\n", error.c_str(), qvreg::DescribeResult(QV_E_INVALIDARG).c_str());
    qvreg::PrintUsage(stderr);
    return qvreg::kUsage;
  }
  if (command.help) {
    qvreg::PrintUsage(stdout);
    return qvreg::kDone;
  }
  return qvreg::RunCommand(command);
}

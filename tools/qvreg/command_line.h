// The command line of qvreg, read with the library's option parser.
#pragma once
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace qvreg {

struct Command {
  std::string verb;                   // query, set, delete, export, import, migrate
  std::vector<std::string> operands;  // KEY, FILE
  std::optional<std::string> valueName;
  bool recursive = false;
  std::optional<std::string> type;
  std::vector<std::string> data;  // one per --data
  std::optional<std::string> to;
  bool help = false;
};

// false on a bad command line; `error` then says why (empty when the option
// parser has already said it).
bool ParseCommandLine(int argc, char** argv, Command& command, std::string& error);
void PrintUsage(std::FILE* out);

}  // namespace qvreg

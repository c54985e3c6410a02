#include "command_line.h"

#include <qvcore5/qvcore.h>

#include <cstring>

namespace qvreg {

namespace {

enum Option : int32_t { kHelp = 'h', kValue = 'v', kRecursive = 'r', kType = 't', kData = 'd', kTo = 'o' };

const QVLongOption kOptions[] = {
    {"help", QV_NO_ARGUMENT, kHelp},       {"value", QV_REQUIRED_ARGUMENT, kValue},
    {"recursive", QV_NO_ARGUMENT, kRecursive}, {"type", QV_REQUIRED_ARGUMENT, kType},
    {"data", QV_REQUIRED_ARGUMENT, kData}, {"to", QV_REQUIRED_ARGUMENT, kTo},
    {nullptr, 0, 0},
};

struct Verb {
  const char* name;
  size_t operands;
  const char* options;  // the option values it accepts
};
const Verb kVerbs[] = {
    {"query", 1, "vr"}, {"set", 1, "vtd"}, {"delete", 1, "v"},
    {"export", 2, ""},  {"import", 1, ""}, {"migrate", 0, "o"},
};

// The parser's messages, in the program's one-line form.
void UseOwnMessages() {
  QVGetOptionMsgStringRequiresArgument = "qvreg: option '%s%s' needs an argument: 0x80070057 (invalid argument)";
  QVGetOptionMsgAmbiguous = "qvreg: option '%s%.*s' is ambiguous: 0x80070057 (invalid argument)";
  QVGetOptionMsgNoArgumentAllowed = "qvreg: option '%s%.*s' takes no argument: 0x80070057 (invalid argument)";
  QVGetOptionMsgUnrecognized = "qvreg: unknown option '%s%s': 0x80070057 (invalid argument)";
}

}  // namespace

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: qvreg query KEY [--value NAME] [--recursive]\n"
      "       qvreg set KEY --value NAME --type string|expand|dword|binary|multi --data DATA\n"
      "       qvreg delete KEY [--value NAME]\n"
      "       qvreg export KEY FILE\n"
      "       qvreg import FILE\n"
      "       qvreg migrate --to ini|native\n"
      "       qvreg --help\n"
      "KEY is ROOT\\path; ROOT is HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU),\n"
      "HKEY_CLASSES_ROOT (HKCR) or QV_HKEY_CONFIG, QV_HKEY_USER, QV_HKEY_CLASSES,\n"
      "QV_HKEY_CONFIG_64, QV_HKEY_CLASSES_64. --value \"\" is the default value.\n"
      "dword data is decimal or 0x hexadecimal; binary data is hexadecimal digits;\n"
      "a multi-string takes one --data per string.\n"
      "Exit status: 0 done, 1 not found, 2 bad command line, 3 other failure.\n",
      out);
}

bool ParseCommandLine(int argc, char** argv, Command& command, std::string& error) {
  UseOwnMessages();
  QVGetOptionIndex = 0;
  QVGetOptionError = 1;
  std::string given;  // option values in the order seen
  std::vector<std::string> words;
  for (;;) {
    int32_t option = QVGetOption(argc, argv, kOptions, nullptr);
    if (option == -1) {
      // With POSIXLY_CORRECT set the scan stops at each operand: take it and go on after it.
      int32_t at = QVGetOptionIndex;
      if (at >= argc) break;
      if (at > 0 && std::strcmp(argv[at - 1], "--") == 0) {
        words.insert(words.end(), argv + at, argv + argc);
        break;
      }
      words.emplace_back(argv[at]);
      QVGetOptionIndex = at + 1;
      QVGetOptionReset = 1;
      continue;
    }
    if (option == '?') return false;
    given += static_cast<char>(option);
    std::string argument = QVGetOptionArgument ? QVGetOptionArgument : "";
    switch (option) {
      case kHelp: command.help = true; break;
      case kRecursive: command.recursive = true; break;
      case kData: command.data.push_back(argument); break;
      case kValue:
      case kType:
      case kTo: {
        auto& slot = option == kValue ? command.valueName : option == kType ? command.type : command.to;
        if (slot) {
          error = std::string("option --") + (option == kValue ? "value" : option == kType ? "type" : "to") +
                  " is given twice";
          return false;
        }
        slot = argument;
        break;
      }
    }
  }
  if (command.help) return true;
  if (words.empty()) {
    error = "no command given";
    return false;
  }
  command.verb = words[0];
  command.operands.assign(words.begin() + 1, words.end());
  const Verb* verb = nullptr;
  for (const Verb& v : kVerbs) {
    if (command.verb == v.name) verb = &v;
  }
  if (verb == nullptr) {
    error = "unknown command '" + command.verb + "'";
    return false;
  }
  if (command.operands.size() != verb->operands) {
    error = command.verb + " takes " + std::to_string(verb->operands) + " operand" + (verb->operands == 1 ? "" : "s") +
            ", not " + std::to_string(command.operands.size());
    return false;
  }
  for (char option : given) {
    if (std::strchr(verb->options, option) == nullptr) {
      for (const QVLongOption* o = kOptions; o->name; ++o) {
        if (o->value == option) error = std::string("option --") + o->name + " does not go with " + command.verb;
      }
      return false;
    }
  }
  if (command.verb == "set" && (!command.valueName || !command.type || command.data.empty())) {
    error = "set needs --value, --type and --data";
    return false;
  }
  if (command.verb == "migrate" && command.to != "ini" && command.to != "native") {
    error = "migrate needs --to ini or --to native";
    return false;
  }
  return true;
}

}  // namespace qvreg

#include "text/getopt.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <utility>

#include "os/os_env.h"

extern "C" {
int32_t QVGetOptionIndex = 1;
char* QVGetOptionArgument = nullptr;
int32_t QVGetOptionOption = '?';
int32_t QVGetOptionError = 1;
int32_t QVGetOptionReset = 0;
const char* QVGetOptionMsgCharacterRequiresArgument = "Usage: option requires an argument -- %c";
const char* QVGetOptionMsgIllegal = "Usage: illegal option -- %c";
const char* QVGetOptionMsgInvalid = "Usage: invalid option -- %c";
const char* QVGetOptionMsgStringRequiresArgument = "Usage: option '%s%s' requires an argument";
const char* QVGetOptionMsgAmbiguous = "Usage: option '%s%.*s' is ambiguous";
const char* QVGetOptionMsgNoArgumentAllowed = "Usage: option '%s%.*s' doesn't allow an argument";
const char* QVGetOptionMsgUnrecognized = "Usage: unrecognized option '%s%s'";
}

namespace qv::text {

namespace {

constexpr int32_t kBadOption = '?';
constexpr int32_t kNoMoreOptions = -1;

// Scan position inside the current element; "" when it is used up.
const char* s_place = "";
// The run of skipped non-options: its first index and the index just after
// it (-1: none, or the run has not ended yet).
int32_t s_nonoptStart = -1;
int32_t s_nonoptEnd = -1;
// Dashes of the current named option as the messages show them.
const char* s_dashPrefix = "";

// The message texts are caller-writable formats, read when printed.
void PrintCharMessage(const char* format, int c) {
  if (format != nullptr) std::fprintf(stderr, format, c);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void PrintTextMessage(const char* format, const char* prefix, const char* text) {
  if (format != nullptr) std::fprintf(stderr, format, prefix, text);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void PrintSpanMessage(const char* format, const char* prefix, int length, const char* text) {
  if (format != nullptr) std::fprintf(stderr, format, prefix, length, text);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Ends the scan: the pending run of non-options goes behind the options that
// followed it and the index points at its first element.
void FinishRun(int32_t argc, char** argv) {
  if (s_nonoptEnd != -1) {
    if (PermuteArguments(s_nonoptStart, s_nonoptEnd, QVGetOptionIndex, argc, argv))
      QVGetOptionIndex -= s_nonoptEnd - s_nonoptStart;
  } else if (s_nonoptStart != -1 && s_nonoptStart <= QVGetOptionIndex) {
    QVGetOptionIndex = s_nonoptStart;
  }
  s_nonoptStart = s_nonoptEnd = -1;
}

bool Present(int32_t index, int32_t argc, char** argv) { return index < argc && argv[index] != nullptr; }

// Looks s_place up in the table (the index has not yet passed the element).
int32_t LookupLong(int32_t argc, char** argv, const QVLongOption* table, int32_t* longIndex, bool print) {
  const char* current = s_place;
  ++QVGetOptionIndex;
  const char* equals = std::strchr(current, '=');
  const char* attached = equals != nullptr ? equals + 1 : nullptr;
  size_t length = equals != nullptr ? static_cast<size_t>(equals - current) : std::strlen(current);

  int32_t match = -1;
  bool exact = false;
  bool ambiguous = false;
  // An empty name ("--=x", "-=") would be an abbreviation of every record; it names none.
  for (int32_t i = 0; length > 0 && table[i].name != nullptr; ++i) {
    if (std::strncmp(table[i].name, current, length) != 0) continue;
    if (std::strlen(table[i].name) == length) {
      match = i;
      exact = true;
      break;
    }
    if (match == -1)
      match = i;
    else
      ambiguous = true;
  }
  int printLength = static_cast<int>(std::min<size_t>(length, INT32_MAX));
  if (ambiguous && !exact) {
    if (print) PrintSpanMessage(QVGetOptionMsgAmbiguous, s_dashPrefix, printLength, current);
    QVGetOptionOption = 0;
    return kBadOption;
  }
  if (match == -1) {
    if (print) PrintTextMessage(QVGetOptionMsgUnrecognized, s_dashPrefix, current);
    QVGetOptionOption = 0;
    return kBadOption;
  }
  const QVLongOption& record = table[match];
  if (record.hasArgument == QV_NO_ARGUMENT && attached != nullptr) {
    if (print) PrintSpanMessage(QVGetOptionMsgNoArgumentAllowed, s_dashPrefix, printLength, current);
    QVGetOptionOption = record.value;
    return kBadOption;
  }
  if (record.hasArgument == QV_REQUIRED_ARGUMENT) {
    if (attached != nullptr) {
      QVGetOptionArgument = const_cast<char*>(attached);
    } else {
      QVGetOptionArgument = Present(QVGetOptionIndex, argc, argv) ? argv[QVGetOptionIndex] : nullptr;
      ++QVGetOptionIndex;
    }
    if (QVGetOptionArgument == nullptr) {
      if (print) PrintTextMessage(QVGetOptionMsgStringRequiresArgument, s_dashPrefix, current);
      QVGetOptionOption = record.value;
      --QVGetOptionIndex;
      return kBadOption;
    }
  }
  if (longIndex != nullptr) *longIndex = match;
  return record.value;
}

// Without a table no character is a known option: one report per call.
int32_t ReportCharacter(bool posixlyCorrect, bool print) {
  int optchar = static_cast<unsigned char>(*s_place++);
  if (*s_place == '\0') ++QVGetOptionIndex;
  if (print) PrintCharMessage(posixlyCorrect ? QVGetOptionMsgIllegal : QVGetOptionMsgInvalid, optchar);
  QVGetOptionOption = optchar;
  return kBadOption;
}

}  // namespace

bool PermuteArguments(int32_t start, int32_t end, int32_t optEnd, int32_t argc, char** argv) noexcept {
  if (start < 0 || start > end || end > optEnd || optEnd > argc) return false;
  int32_t nonOptions = end - start;
  int32_t optionCount = optEnd - end;
  if (nonOptions == 0 || optionCount == 0) return true;
  // Each cycle carries every element to its place: a non-option moves
  // optionCount forward, an option nonOptions back.
  int32_t cycles = std::gcd(nonOptions, optionCount);
  int32_t cycleLength = (nonOptions + optionCount) / cycles;
  for (int32_t i = 0; i < cycles; ++i) {
    int32_t cycleStart = end + i;
    int32_t pos = cycleStart;
    for (int32_t j = 0; j < cycleLength; ++j) {
      pos = pos >= end ? pos - nonOptions : pos + optionCount;
      std::swap(argv[pos], argv[cycleStart]);
    }
  }
  return true;
}

int32_t ScanOptions(int32_t argc, char** argv, const QVLongOption* longOptions, int32_t* longIndex) noexcept {
  if (argv == nullptr || argc < 0) argc = 0;
  bool posixlyCorrect = os::HasEnvironmentVariable(u"POSIXLY_CORRECT");
  bool permute = !posixlyCorrect;
  bool print = QVGetOptionError != 0;

  if (QVGetOptionIndex == 0) QVGetOptionIndex = QVGetOptionReset = 1;
  QVGetOptionArgument = nullptr;
  if (QVGetOptionIndex < 0) return kNoMoreOptions;  // no element has a negative index
  if (QVGetOptionReset != 0) s_nonoptStart = s_nonoptEnd = -1;

  bool elementStart = false;
  if (QVGetOptionReset != 0 || *s_place == '\0') {
    QVGetOptionReset = 0;
    for (;;) {
      // A null element before argc ends the vector as its terminator would.
      if (!Present(QVGetOptionIndex, argc, argv)) {
        s_place = "";
        FinishRun(argc, argv);
        return kNoMoreOptions;
      }
      const char* current = argv[QVGetOptionIndex];
      if (current[0] != '-' || current[1] == '\0') {
        s_place = "";
        if (!permute) {
          // Only a scan that began permuting has a run here (POSIXLY_CORRECT
          // appeared since); it is gathered so that no non-option is lost.
          FinishRun(argc, argv);
          return kNoMoreOptions;
        }
        if (s_nonoptStart == -1) {
          s_nonoptStart = QVGetOptionIndex;
        } else if (s_nonoptEnd != -1) {
          // A second run: the first goes behind the options between them and joins it.
          if (PermuteArguments(s_nonoptStart, s_nonoptEnd, QVGetOptionIndex, argc, argv))
            s_nonoptStart = QVGetOptionIndex - (s_nonoptEnd - s_nonoptStart);
          else
            s_nonoptStart = QVGetOptionIndex;
          s_nonoptEnd = -1;
        }
        ++QVGetOptionIndex;
        continue;
      }
      if (s_nonoptStart != -1 && s_nonoptEnd == -1) s_nonoptEnd = QVGetOptionIndex;
      if (current[1] == '-' && current[2] == '\0') {
        ++QVGetOptionIndex;
        s_place = "";
        FinishRun(argc, argv);
        return kNoMoreOptions;
      }
      s_place = current + 1;
      elementStart = true;
      break;
    }
  }

  if (longOptions != nullptr && elementStart) {
    if (*s_place == '-') {
      ++s_place;
      s_dashPrefix = "--";
    } else {
      s_dashPrefix = "-";
    }
    int32_t result = LookupLong(argc, argv, longOptions, longIndex, print);
    s_place = "";
    return result;
  }
  return ReportCharacter(posixlyCorrect, print);
}

}  // namespace qv::text

// Nothing in the scan can throw, so the export needs no error boundary.
extern "C" QV_API int32_t QVGetOption(int32_t argc, char** argv, const QVLongOption* longOptions, int32_t* longIndex) {
  return qv::text::ScanOptions(argc, argv, longOptions, longIndex);
}

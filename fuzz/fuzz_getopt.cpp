// Random argument vectors against a fixed option table. The first byte picks
// POSIXLY_CORRECT, message printing, a null table and the single-character
// scanner; the rest is split into elements at '\n' and '\0'. Checked: the
// scan ends, every result is a value of the table, '?', ':' or -1, the index
// stays inside the vector, an argument points into an element, and the
// vector afterwards holds the same elements.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qvcore5/qvcore.h"
#include "text/getopt.h"

namespace {

const QVLongOption kTable[] = {
    {"verbose", QV_NO_ARGUMENT, 'v'}, {"version", QV_NO_ARGUMENT, 'V'}, {"output", QV_REQUIRED_ARGUMENT, 'o'},
    {"out", 2, 'O'},                  {"quiet", QV_NO_ARGUMENT, 'q'},   {"", QV_NO_ARGUMENT, 'e'},
    {"verbose", QV_REQUIRED_ARGUMENT, 'w'}, {"x", QV_REQUIRED_ARGUMENT, 'x'}, {nullptr, 0, 0},
};

bool ValidResult(int32_t r) {
  if (r == -1 || r == '?' || r == ':' || r == 1 || r == 'a' || r == 'b' || r == 'W') return true;
  for (const QVLongOption* o = kTable; o->name != nullptr; ++o)
    if (o->value == r) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[0];
  std::vector<std::string> elements{"prog"};
  std::string current;
  for (size_t i = 1; i < size && elements.size() < 512; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\n' || c == '\0') {
      elements.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  elements.push_back(current);

  std::vector<char*> argv;
  for (std::string& e : elements) argv.push_back(e.data());
  argv.push_back(nullptr);
  const std::vector<char*> original(argv);
  const int32_t argc = static_cast<int32_t>(elements.size());

  if (control & 1)
    setenv("POSIXLY_CORRECT", "1", 1);
  else
    unsetenv("POSIXLY_CORRECT");
  QVGetOptionError = (control & 2) ? 1 : 0;
  const QVLongOption* table = (control & 4) ? nullptr : kTable;
  const char* options = (control & 16) ? ":ab:W;" : "ab:W;";
  uint32_t flags = qv::text::kScanPermute | ((control & 32) ? qv::text::kScanAllArguments : 0) |
                   ((control & 64) ? qv::text::kScanLongOnly : 0);

  size_t budget = size + 8;  // every call uses up at least one byte or one element
  QVGetOptionIndex = 0;
  for (;;) {
    if (budget-- == 0) std::abort();  // the scan does not end
    int32_t longIndex = -1;
    int32_t r = (control & 8) ? qv::text::ScanOptions(argc, argv.data(), options, table, &longIndex, flags)
                              : QVGetOption(argc, argv.data(), table, &longIndex);
    if (!ValidResult(r)) std::abort();
    if (QVGetOptionIndex < 1 || QVGetOptionIndex > argc) std::abort();
    if (longIndex != -1 && (table == nullptr || kTable[longIndex].value != r)) std::abort();
    if (QVGetOptionArgument != nullptr) {
      bool inside = false;
      for (const std::string& e : elements)
        inside = inside || (QVGetOptionArgument >= e.data() && QVGetOptionArgument <= e.data() + e.size());
      if (!inside) std::abort();
    }
    if (r == -1) break;
  }
  std::vector<char*> before(original), after(argv);
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  if (before != after || argv[0] != original[0]) std::abort();
  return 0;
}

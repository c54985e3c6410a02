#include "process/command_line.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>

namespace qv::process {

std::vector<std::u16string> SplitArguments(const WChar* text) {
  std::vector<std::u16string> out;
  const WChar* p = text;
  for (;;) {
    while (*p == u' ' || *p == u'\t') ++p;
    if (*p == 0) return out;
    std::u16string arg;
    bool quoted = false;
    for (; *p != 0; ++p) {
      if (!quoted && (*p == u' ' || *p == u'\t')) break;
      if (*p == u'\\') {
        size_t slashes = 0;
        while (p[slashes] == u'\\') ++slashes;
        if (p[slashes] == u'"') {
          arg.append(slashes / 2, u'\\');
          p += slashes;
          if (slashes % 2 == 1) {
            arg.push_back(u'"');
            continue;
          }
          --p;  // the quote acts below, on the next turn
          continue;
        }
        arg.append(slashes, u'\\');
        p += slashes - 1;
        continue;
      }
      if (*p == u'"') {
        if (quoted && p[1] == u'"') {
          arg.push_back(u'"');
          ++p;
        } else {
          quoted = !quoted;
        }
        continue;
      }
      arg.push_back(*p);
    }
    out.push_back(std::move(arg));
  }
}

bool BuildEnvironmentBlock(const WChar* const* list, std::u16string& block) {
  std::vector<std::u16string_view> entries;
  for (const WChar* const* at = list; *at != nullptr; ++at) {
    std::u16string_view entry(*at);
    if (entry.size() < 2 || entry.find(u'=', 1) == std::u16string_view::npos) return false;
    entries.push_back(entry);
  }
  std::stable_sort(entries.begin(), entries.end(), [](std::u16string_view a, std::u16string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t c = u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                                 reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()),
                                 U_FOLD_CASE_DEFAULT, &status);
    return c < 0;
  });
  block.clear();
  for (std::u16string_view e : entries) {
    block.append(e);
    block.push_back(0);
  }
  block.push_back(0);
  return true;
}

}  // namespace qv::process

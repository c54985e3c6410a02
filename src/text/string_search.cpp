// Search and tokenising in the string families.
#include <unicode/ustring.h>

#include <cstring>

#include "qvcore5/qv_string.h"
#include "text/units.h"
#include "base/wide.h"

using qv::WChar;

namespace {

using qv::text::UnitFind;

bool IsDelimiter(WChar u, const WChar* delimiters) noexcept {
  for (const WChar* d = delimiters; *d != 0; ++d)
    if (*d == u) return true;
  return false;
}

// The whole state is the cursor, so independent tokenisations may interleave.
template <class Unit, class Skip, class Scan>
Unit* NextToken(Unit** cursor, Skip skipDelimiters, Scan scanToken) noexcept {
  if (cursor == nullptr || *cursor == nullptr) return nullptr;
  Unit* token = *cursor + skipDelimiters(*cursor);
  if (*token == 0) {
    *cursor = nullptr;
    return nullptr;
  }
  Unit* end = token + scanToken(token);
  if (*end == 0) {
    *cursor = nullptr;
  } else {
    *end = 0;
    *cursor = end + 1;
  }
  return token;
}

}  // namespace

extern "C" {

QV_API char* QVStrChrA(const char* string, int32_t character) {
  return const_cast<char*>(std::strchr(string, character));
}

QV_API QVWCHAR* QVStrChrW(const QVWCHAR* string, QVWCHAR character) {
  return qv::Api(const_cast<WChar*>(UnitFind(qv::Wide(string), character)));
}

QV_API QVWCHAR* QVStrChrUCS2(const QVWCHAR* string, QVWCHAR unit) { return qv::Api(u_strchr(qv::Wide(string), unit)); }

QV_API QVWCHAR* QVStrChrUTF16(const QVWCHAR* string, uint32_t codePoint) {
  if (codePoint > 0x10FFFF) return nullptr;
  return qv::Api(u_strchr32(qv::Wide(string), static_cast<UChar32>(codePoint)));
}

QV_API char* QVStrRChrA(const char* string, int32_t character) {
  return const_cast<char*>(std::strrchr(string, character));
}

QV_API QVWCHAR* QVStrRChrW(const QVWCHAR* string, QVWCHAR character) {
  const WChar* last = nullptr;
  for (const WChar* s = qv::Wide(string);; ++s) {
    if (*s == character) last = s;
    if (*s == 0) break;
  }
  return qv::Api(const_cast<WChar*>(last));
}

QV_API QVWCHAR* QVStrRChrUCS2(const QVWCHAR* string, QVWCHAR unit) { return qv::Api(u_strrchr(qv::Wide(string), unit)); }

QV_API QVWCHAR* QVStrRChrUTF16(const QVWCHAR* string, uint32_t codePoint) {
  if (codePoint > 0x10FFFF) return nullptr;
  return qv::Api(u_strrchr32(qv::Wide(string), static_cast<UChar32>(codePoint)));
}

QV_API char* QVStrStrA(const char* string, const char* substring) {
  return const_cast<char*>(std::strstr(string, substring));
}

QV_API QVWCHAR* QVStrStrW(const QVWCHAR* string, const QVWCHAR* substring) {
  if (*substring == 0) return const_cast<QVWCHAR*>(string);
  for (const WChar* s = qv::Wide(string); (s = UnitFind(s, *substring)) != nullptr; ++s) {
    size_t k = 1;
    while (substring[k] != 0 && s[k] == substring[k]) ++k;
    if (substring[k] == 0) return qv::Api(const_cast<WChar*>(s));
    if (s[k] == 0) return nullptr;  // the rest is shorter than the substring
  }
  return nullptr;
}

QV_API QVWCHAR* QVStrStrUTF16(const QVWCHAR* string, const QVWCHAR* substring) {
  return qv::Api(u_strstr(qv::Wide(string), qv::Wide(substring)));
}

// A null delimiter string counts as an empty one.
QV_API char* QVStrTokA(char** cursor, const char* delimiters) {
  const char* delims = delimiters != nullptr ? delimiters : "";
  return NextToken(
      cursor, [delims](const char* s) { return std::strspn(s, delims); },
      [delims](const char* s) { return std::strcspn(s, delims); });
}

QV_API QVWCHAR* QVStrTokW(QVWCHAR** cursor, const QVWCHAR* delimiters) {
  if (cursor == nullptr) return nullptr;
  const WChar* delims = delimiters != nullptr ? qv::Wide(delimiters) : u"";
  WChar* at = qv::Wide(*cursor);
  WChar* token = NextToken(
      &at,
      [delims](const WChar* s) {
        size_t n = 0;
        while (s[n] != 0 && IsDelimiter(s[n], delims)) ++n;
        return n;
      },
      [delims](const WChar* s) {
        size_t n = 0;
        while (s[n] != 0 && !IsDelimiter(s[n], delims)) ++n;
        return n;
      });
  *cursor = qv::Api(at);
  return qv::Api(token);
}

}  // extern "C"

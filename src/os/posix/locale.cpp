#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "os/os_locale.h"
#include "os/posix/codeset.h"

namespace qv::os {

namespace {

constexpr uint32_t kAsciiCodePage = 20127;

// Keys are upper case without '-' and '_', as Normalize leaves them.
struct CodesetEntry {
  const char* key;
  uint32_t codePage;
};

constexpr CodesetEntry kCodesets[] = {
    {"UTF8", 65001},       {"ANSIX3.41968", 20127}, {"ASCII", 20127},     {"USASCII", 20127},
    {"ISO88591", 28591},   {"ISO88592", 28592},     {"ISO88593", 28593},  {"ISO88594", 28594},
    {"ISO88595", 28595},   {"ISO88596", 28596},     {"ISO88597", 28597},  {"ISO88598", 28598},
    {"ISO88599", 28599},   {"ISO885913", 28603},    {"ISO885915", 28605}, {"KOI8R", 20866},
    {"KOI8U", 21866},      {"TIS620", 874},         {"EUCJP", 20932},     {"SHIFTJIS", 932},
    {"SJIS", 932},         {"GB2312", 936},         {"GBK", 936},         {"GB18030", 54936},
    {"BIG5", 950},         {"BIG5HKSCS", 950},      {"EUCKR", 51949},
};

// Upper case, '-' and '_' dropped; false when the name does not fit.
bool Normalize(const char* codeset, char (&key)[32]) noexcept {
  size_t n = 0;
  for (const char* p = codeset; *p != '\0'; ++p) {
    char c = *p;
    if (c == '-' || c == '_') continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (n + 1 >= sizeof key) return false;
    key[n++] = c;
  }
  key[n] = '\0';
  return true;
}

}  // namespace

uint32_t CodePageFromCodeset(const char* codeset) noexcept {
  char key[32];
  if (codeset == nullptr || !Normalize(codeset, key)) return kAsciiCodePage;
  for (const CodesetEntry& e : kCodesets)
    if (std::strcmp(key, e.key) == 0) return e.codePage;
  // The C library's own names for the Windows code pages: CP1251, WINDOWS1252.
  const char* digits = nullptr;
  if (std::strncmp(key, "CP", 2) == 0) digits = key + 2;
  else if (std::strncmp(key, "WINDOWS", 7) == 0) digits = key + 7;
  if (digits != nullptr && *digits != '\0' && std::strspn(digits, "0123456789") == std::strlen(digits) &&
      std::strlen(digits) <= 5) {
    unsigned long n = std::strtoul(digits, nullptr, 10);
    if (n > 0 && n <= 65535) return static_cast<uint32_t>(n);
  }
  return kAsciiCodePage;
}

void ApplyUserLocale() noexcept {
  if (std::setlocale(LC_ALL, "") == nullptr) {
    // One category naming a locale that is not installed fails the whole
    // call and changes nothing; the others still get the user's setting.
    for (int category : {LC_CTYPE, LC_NUMERIC, LC_TIME, LC_COLLATE, LC_MONETARY, LC_MESSAGES, LC_PAPER, LC_NAME,
                         LC_ADDRESS, LC_TELEPHONE, LC_MEASUREMENT, LC_IDENTIFICATION})
      std::setlocale(category, "");
  }
  const char* ctype = std::setlocale(LC_CTYPE, nullptr);
  if (ctype == nullptr || std::strcmp(ctype, "C") == 0 || std::strcmp(ctype, "POSIX") == 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

uint32_t AnsiCodePage() noexcept { return CodePageFromCodeset(nl_langinfo(CODESET)); }

}  // namespace qv::os

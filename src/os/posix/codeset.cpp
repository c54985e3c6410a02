#include "os/posix/codeset.h"

#include <climits>
#include <cuchar>
#include <cwchar>

#include "os/os_error.h"

namespace qv::os::posix {

namespace {

void AppendCodePoint(char32_t c, std::u16string& wide) {
  if (c < 0x10000) {
    wide.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    wide.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    wide.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// False at the first byte sequence that is no character (only when exact).
bool Decode(std::string_view narrow, std::u16string& wide, bool exact) {
  std::u16string out;
  out.reserve(narrow.size());
  std::mbstate_t state{};
  size_t pos = 0;
  while (pos < narrow.size()) {
    char32_t c;
    size_t n = std::mbrtoc32(&c, narrow.data() + pos, narrow.size() - pos, &state);
    if (n == 0) {  // an embedded zero byte
      c = 0;
      n = 1;
    } else if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == static_cast<size_t>(-3) ||
               (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
      if (exact) {
        StoreLastError(kErrorNoUnicodeTranslation);
        return false;
      }
      c = 0xFFFD;
      n = 1;
      state = std::mbstate_t{};
    }
    AppendCodePoint(c, out);
    pos += n;
  }
  wide = std::move(out);
  return true;
}

}  // namespace

bool NarrowToUtf16Exact(std::string_view narrow, std::u16string& wide) { return Decode(narrow, wide, true); }

std::u16string NarrowToUtf16Shown(std::string_view narrow) {
  std::u16string wide;
  Decode(narrow, wide, false);
  return wide;
}

bool Utf16ToNarrowExact(std::u16string_view wide, std::string& narrow) {
  std::string out;
  out.reserve(wide.size());
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      StoreLastError(kErrorNoUnicodeTranslation);
      return false;
    }
    size_t n = std::c32rtomb(bytes, c, &state);
    if (n == static_cast<size_t>(-1)) {
      StoreLastError(kErrorNoUnicodeTranslation);
      return false;
    }
    out.append(bytes, n);
  }
  narrow = std::move(out);
  return true;
}

}  // namespace qv::os::posix

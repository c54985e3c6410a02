#include "os/posix/file_name.h"

#include <new>

#include "os/os_error.h"

namespace qv::os {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence at p (1 to 4), or 0 when the first byte
// does not start one: overlong forms, encoded surrogates and values beyond
// U+10FFFF are invalid, so their bytes are escaped one by one.
size_t SequenceLength(const unsigned char* p, size_t left, char32_t* value) noexcept {
  unsigned char b0 = p[0];
  if (b0 < 0x80) {
    *value = b0;
    return 1;
  }
  size_t n;
  char32_t v;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, v = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, v = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, v = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (left < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (p[i] & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *value = v;
  return n;
}

}  // namespace

bool NativePath(std::u16string_view path, std::string& native) noexcept {
  try {
    native.clear();
    native.reserve(path.size() * 3);
    for (size_t i = 0; i < path.size(); ++i) {
      char32_t c = path[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00);
        ++i;
      } else if (c >= 0xDC80 && c <= 0xDCFF) {
        native.push_back(static_cast<char>(c - kEscapeBase));  // an escaped byte
        continue;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        StoreLastError(kErrorInvalidName);
        return false;
      }
      if (c < 0x80) {
        native.push_back(static_cast<char>(c));
      } else if (c < 0x800) {
        native.push_back(static_cast<char>(0xC0 | (c >> 6)));
        native.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      } else if (c < 0x10000) {
        native.push_back(static_cast<char>(0xE0 | (c >> 12)));
        native.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        native.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      } else {
        native.push_back(static_cast<char>(0xF0 | (c >> 18)));
        native.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        native.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        native.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
}

size_t WideName(const char* bytes, size_t length, char16_t* out, size_t capacity) noexcept {
  if (capacity == 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t written = 0;
  size_t i = 0;
  while (i < length) {
    char32_t c;
    size_t n = SequenceLength(p + i, length - i, &c);
    if (n == 0) {
      c = kEscapeBase + p[i];
      n = 1;
    }
    size_t units = c >= 0x10000 ? 2 : 1;
    if (written + units >= capacity) break;
    if (units == 2) {
      out[written++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[written++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[written++] = static_cast<char16_t>(c);
    }
    i += n;
  }
  out[written] = 0;
  return written;
}

}  // namespace qv::os
